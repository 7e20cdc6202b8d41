#include "connection.h"

#include <array>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <memory>
#include <optional>
#include <string>

#include "http/answers.h"
#include "http/inflight_budget.h"
#include "http/read_api.h"
#include "http/request_log.h"
#include "http/upload_handler.h"

namespace intake {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// A request must be whole within this, plus a second per kBytesPerSecond of
// its length: a sender as slow as a poor mobile link still makes it, one
// that trickles a byte now and then does not hold memory for ever.
constexpr auto kRequestAllowance = 30s;
constexpr std::uint64_t kBytesPerSecond = 64 * 1024;
// Headers of real clients are well under 1 KiB; a larger block is refused.
constexpr std::uint32_t kHeaderLimit = 16 * 1024;
// Bodies of requests other than uploads (which have none in practice).
constexpr std::uint64_t kOtherBodyLimit = 64 * 1024;
// After a refusal the rest of a body is read and dropped for a while, so the
// close does not reset the connection before the client read the answer.
constexpr auto kLingerTime = 2s;
constexpr std::uint64_t kLingerBytes = 1 << 20;
constexpr std::string_view kUploadPath = "/reports";
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

std::chrono::seconds AllowanceFor(std::uint64_t bytes) {
  return std::chrono::seconds(bytes / kBytesPerSecond) + kRequestAllowance;
}

std::optional<std::string> HeaderValue(const http::request_header<>& header,
                                       std::string_view name) {
  const auto found = header.find(beast::string_view(name.data(), name.size()));
  if (found == header.end()) return std::nullopt;
  return std::string(found->value());
}

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(asio::ip::tcp::socket socket, ConnectionServices& services)
      : m_stream(std::move(socket)), m_timer(m_stream.get_executor()), m_services(services) {
    beast::error_code ec;
    const auto peer = m_stream.socket().remote_endpoint(ec);
    m_peer = ec ? std::string("?") : peer.address().to_string() + ":" + std::to_string(peer.port());
  }

  ~Connection() { m_services.tracker.Remove(m_id); }

  void Start() {
    std::weak_ptr<Connection> weak = weak_from_this();
    m_id = m_services.tracker.Add([weak] {
      if (auto self = weak.lock()) {
        asio::post(self->m_stream.get_executor(), [self] { self->Drain(); });
      }
    });
    NextRequest();
  }

 private:
  enum class Phase { kWaiting, kReading, kWorking, kWriting, kClosing };

  void NextRequest() {
    if (m_draining) return Close();
    m_phase = Phase::kWaiting;
    m_parser.emplace();
    m_parser->header_limit(kHeaderLimit);
    m_parser->body_limit(m_services.limits.max_body_bytes);
    m_headerChecked = false;
    m_upload = false;
    m_declared = 0;
    m_closeAfter = false;
    m_reservation.reset();
    m_method.clear();
    m_target.clear();
    m_key.clear();
    m_started = Clock::now();
    m_deadline = Clock::time_point::max();
    ReadMore();
  }

  // Each read must bring bytes within the idle timeout, and the request must
  // be whole by its deadline. A timer of our own rather than the stream's
  // expiry, which closes the socket: the sender is owed a 408.
  void ReadMore() {
    const auto idle = Clock::now() + m_services.limits.idle_timeout;
    m_timer.expires_at(std::min(idle, m_deadline));
    // A wait that expired just as its read completed must not cancel the next read.
    const std::uint64_t generation = ++m_readGeneration;
    m_timer.async_wait([self = shared_from_this(), generation](beast::error_code ec) {
      if (ec || generation != self->m_readGeneration) return;
      self->m_timedOut = true;
      beast::error_code ignored;
      self->m_stream.socket().cancel(ignored);
    });
    http::async_read_some(
        m_stream, m_buffer, *m_parser,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRead(ec); });
  }

  void OnRead(beast::error_code ec) {
    const bool expired = std::exchange(m_timedOut, false);
    m_timer.cancel();
    if (m_phase == Phase::kWaiting && m_parser->got_some()) {
      m_phase = Phase::kReading;
      m_started = Clock::now();
      m_deadline = m_started + kRequestAllowance;
    }
    if (ec) return OnReadFailed(ec, expired);
    if (m_parser->is_header_done() && !m_headerChecked) {
      m_headerChecked = true;
      if (!CheckHeader()) return;
    }
    if (m_parser->is_done()) return Dispatch();
    ReadMore();
  }

  void OnReadFailed(beast::error_code ec, bool expired) {
    if (m_phase == Phase::kWaiting) return Close();  // an idle connection ends quietly
    // A sender that stopped, or closed its side, before the request was whole.
    if (expired || ec == http::error::partial_message) return Refuse(HttpOutcome::kIncomplete);
    if (ec == http::error::body_limit) return Refuse(HttpOutcome::kTooLarge);
    if (ec.category() == http::make_error_code(http::error::bad_target).category()) {
      return Refuse(HttpOutcome::kMalformedHttp);
    }
    Close();  // the socket failed: nobody to answer
  }

  // What the headers alone decide; false when the request is answered already.
  bool CheckHeader() {
    const auto& header = m_parser->get();
    m_method = std::string(header.method_string());
    m_target = std::string(header.target());
    const std::string_view path = std::string_view(m_target).substr(0, m_target.find('?'));
    const auto length = m_parser->content_length();
    m_declared = length.value_or(0);
    m_closeAfter = !header.keep_alive();
    if (path != kUploadPath) {
      if (!ReadApi::Serves(m_target)) return Refuse(HttpOutcome::kNotFound, true), false;
      if (m_parser->chunked() || m_declared > kOtherBodyLimit) {
        return Refuse(HttpOutcome::kTooLarge), false;
      }
      return true;
    }
    m_upload = true;
    m_key = HeaderValue(header, "Idempotency-Key").value_or("");
    if (header.method() != http::verb::post) return Refuse(HttpOutcome::kMethodNotAllowed), false;
    if (m_parser->chunked() || !length) return Refuse(HttpOutcome::kNoLength), false;
    if (*length > m_services.limits.max_body_bytes) return Refuse(HttpOutcome::kTooLarge), false;
    const std::string type = HeaderValue(header, "Content-Type").value_or("");
    if (const auto refusal = UploadHandler::RefusedByHeaders(type)) {
      return Refuse(*refusal), false;
    }
    m_reservation = m_services.budget.TryReserve(*length);
    if (!m_reservation) return Refuse(HttpOutcome::kBusy), false;
    m_deadline = m_started + AllowanceFor(*length);
    if (beast::iequals(HeaderValue(header, "Expect").value_or(""), "100-continue")) {
      m_stream.expires_after(kRequestAllowance);
      asio::async_write(m_stream, asio::buffer(kContinue.data(), kContinue.size()),
                        [self = shared_from_this()](beast::error_code ec, std::size_t) {
                          self->m_stream.expires_never();
                          if (ec) return self->Close();
                          self->ReadMore();
                        });
      return false;
    }
    return true;
  }

  void Dispatch() {
    m_phase = Phase::kWorking;
    auto request = m_parser->release();
    if (!m_upload) {
      std::optional<std::string> authorization = HeaderValue(request, "Authorization");
      asio::post(m_services.workers, [self = shared_from_this(), authorization] {
        Reply reply = self->m_services.reads.Handle(self->m_method, self->m_target, authorization);
        asio::post(self->m_stream.get_executor(),
                   [self, reply = std::move(reply)]() mutable { self->Answer(std::move(reply)); });
      });
      return;
    }
    auto upload = std::make_shared<UploadRequest>();
    upload->content_type = HeaderValue(request, "Content-Type").value_or("");
    upload->key = HeaderValue(request, "Idempotency-Key");
    upload->client_id = HeaderValue(request, "X-Client-Id");
    upload->body = std::move(request.body());
    auto reservation = std::make_shared<InflightBudget::Reservation>(std::move(m_reservation));
    asio::post(m_services.workers, [self = shared_from_this(), upload, reservation] {
      self->m_services.uploads.Handle(std::move(*upload), [self, reservation](Reply reply) {
        // The body's memory went before the commit; its share of the budget
        // goes with the answer.
        reservation->reset();
        asio::post(self->m_stream.get_executor(),
                   [self, reply = std::move(reply)]() mutable { self->Answer(std::move(reply)); });
      });
    });
  }

  // Answers before the whole request was read; the connection then ends,
  // since the rest of the request cannot be told from the next one.
  void Refuse(const Outcome& outcome, bool keep_alive_if_whole = false) {
    Reply reply = TextReply(outcome);
    reply.close = !(keep_alive_if_whole && m_parser->is_done() && m_declared == 0);
    Answer(std::move(reply));
  }

  void Answer(Reply reply) {
    m_phase = Phase::kWriting;
    // Whatever of the request is still held goes now, and its share of the
    // in-flight budget with it: a refused sender's linger must not keep
    // others out.
    m_parser.reset();
    m_reservation.reset();
    m_closeAfter = m_closeAfter || reply.close || m_draining;
    m_response = std::make_shared<http::response<http::string_body>>();
    auto& response = *m_response;
    response.version(11);
    response.result(reply.status);
    response.set(http::field::content_type, reply.content_type);
    if (reply.retry_after)
      response.set(http::field::retry_after, std::to_string(*reply.retry_after));
    response.body() = std::move(reply.body);
    response.keep_alive(!m_closeAfter);
    response.prepare_payload();
    m_stream.expires_after(AllowanceFor(response.body().size()));
    http::async_write(
        m_stream, response,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnWritten(ec); });
  }

  void OnWritten(beast::error_code ec) {
    m_stream.expires_never();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - m_started).count();
    LogRequest({m_peer, m_method.empty() ? std::string_view("-") : std::string_view(m_method),
                m_target.empty() ? std::string_view("-") : std::string_view(m_target),
                m_response->result_int(), m_key, m_declared, ms});
    m_response.reset();
    if (ec) return Close();
    if (m_closeAfter) return Linger();
    NextRequest();
  }

  // Half-closes, then drops what the client still sends until it closes too
  // or the linger time is over.
  void Linger() {
    m_phase = Phase::kClosing;
    beast::error_code ignored;
    m_stream.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    m_lingerUntil = Clock::now() + kLingerTime;
    m_lingered = 0;
    DropSome();
  }

  void DropSome() {
    const auto left = m_lingerUntil - Clock::now();
    if (left <= Clock::duration::zero() || m_lingered > kLingerBytes) return Close();
    m_stream.expires_after(left);
    m_stream.async_read_some(asio::buffer(m_discard),
                             [self = shared_from_this()](beast::error_code ec, std::size_t bytes) {
                               if (ec) return self->Close();
                               self->m_lingered += bytes;
                               self->DropSome();
                             });
  }

  void Close() {
    m_phase = Phase::kClosing;
    m_timer.cancel();
    beast::error_code ignored;
    m_stream.socket().close(ignored);
  }

  // On stop: an idle connection ends now, one in a request after its answer.
  void Drain() {
    m_draining = true;
    if (m_phase == Phase::kWaiting) Close();
  }

  beast::tcp_stream m_stream;
  asio::steady_timer m_timer;
  ConnectionServices& m_services;
  beast::flat_buffer m_buffer;
  std::optional<http::request_parser<http::string_body>> m_parser;
  std::shared_ptr<http::response<http::string_body>> m_response;
  InflightBudget::Reservation m_reservation;
  std::array<char, 16 * 1024> m_discard{};
  std::uint64_t m_id = 0;
  std::string m_peer;
  std::string m_method;
  std::string m_target;
  std::string m_key;
  std::uint64_t m_declared = 0;
  std::uint64_t m_lingered = 0;
  std::uint64_t m_readGeneration = 0;
  Clock::time_point m_started;
  Clock::time_point m_deadline;
  Clock::time_point m_lingerUntil;
  Phase m_phase = Phase::kWaiting;
  bool m_timedOut = false;
  bool m_headerChecked = false;
  bool m_upload = false;
  bool m_closeAfter = false;
  bool m_draining = false;
};

}  // namespace

std::uint64_t ConnectionTracker::Add(std::function<void()> drain) {
  const std::lock_guard lock(m_mutex);
  const std::uint64_t id = ++m_next;
  m_drains.emplace(id, std::move(drain));
  return id;
}

void ConnectionTracker::Remove(std::uint64_t id) {
  std::size_t open = 0;
  {
    const std::lock_guard lock(m_mutex);
    if (m_drains.erase(id) == 0) return;
    open = m_drains.size();
  }
  m_closed(open);
}

void ConnectionTracker::DrainAll() {
  std::vector<std::function<void()>> drains;
  {
    const std::lock_guard lock(m_mutex);
    for (const auto& [id, drain] : m_drains) drains.push_back(drain);
  }
  // Outside the lock: a drain may end the last owner of a connection, whose
  // removal takes the lock.
  for (const auto& drain : drains) drain();
}

std::size_t ConnectionTracker::open() const {
  const std::lock_guard lock(m_mutex);
  return m_drains.size();
}

void StartConnection(asio::ip::tcp::socket socket, ConnectionServices& services) {
  std::make_shared<Connection>(std::move(socket), services)->Start();
}

}  // namespace intake
