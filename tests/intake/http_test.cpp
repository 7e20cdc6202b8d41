#include <gtest/gtest.h>

#include <set>

#include "http/answers.h"
#include "http/json_writer.h"
#include "http/read_api.h"

using namespace intake;

// Every refusal of the contract has its row, with the contract's own status.
TEST(AnswerTable, CoversEveryContractRefusal) {
  for (int error = 0; error <= static_cast<int>(ContractError::kTooDense); ++error) {
    const auto refusal = static_cast<ContractError>(error);
    EXPECT_EQ(RowFor(refusal).status, static_cast<unsigned>(HttpStatus(refusal))) << error;
    const Reply reply = TextReply(refusal);
    EXPECT_EQ(reply.body, std::string(Reason(refusal)) + "\n");
  }
}

TEST(AnswerTable, RetryAfterOnlyWhereTheSenderShouldWait) {
  struct Case {
    Outcome outcome;
    std::uint32_t asked;
    std::optional<std::uint32_t> sent;
  };
  const Case cases[] = {
      {CommitOutcome::kAccepted, 0, std::nullopt},
      {CommitOutcome::kRateLimited, 120, 120},
      {CommitOutcome::kRateLimited, 99999, 3600},
      {CommitOutcome::kUnavailable, 0, kBusyRetryAfterSeconds},
      {HttpOutcome::kBusy, 0, kBusyRetryAfterSeconds},
      {HttpOutcome::kTooLarge, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const Reply reply = TextReply(c.outcome, c.asked);
    EXPECT_EQ(reply.retry_after, c.sent) << reply.body;
    EXPECT_EQ(reply.body.find('\n'), reply.body.size() - 1);
  }
}

TEST(JsonWriter, EscapesStringsAndKeepsNumbersNumbers) {
  JsonWriter json;
  json.BeginObject()
      .Key("text")
      .String("q\"\\\n\t\x01 \xC3\xA4 \xFF \xED\xA0\x80")
      .Key("n")
      .Number(std::int64_t{-5})
      .Key("big")
      .Number(std::uint64_t{18446744073709551615u})
      .Key("list")
      .BeginArray()
      .Null()
      .Bool(true)
      .EndArray()
      .EndObject();
  EXPECT_EQ(json.text(),
            "{\"text\":\"q\\\"\\\\\\n\\t\\u0001 \xC3\xA4 \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD"
            "\xEF\xBF\xBD\",\"n\":-5,\"big\":18446744073709551615,\"list\":[null,true]}");
}

TEST(TokenSet, AdmitsOnlyItsBearerTokens) {
  const TokenSet tokens = TokenSet::FromText("\n one \r\ntwo\n\n");
  EXPECT_EQ(tokens.size(), 2u);
  EXPECT_TRUE(tokens.Admits("Bearer one"));
  EXPECT_TRUE(tokens.Admits("Bearer two"));
  for (const char* refused : {"Bearer on", "Bearer onee", "Bearer ", "one", "Basic one"}) {
    EXPECT_FALSE(tokens.Admits(std::string_view(refused))) << refused;
  }
  EXPECT_FALSE(tokens.Admits(std::nullopt));
  EXPECT_FALSE(TokenSet().Admits("Bearer "));
}
