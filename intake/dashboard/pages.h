// The dashboard's pages, each rendered from the store's reads. Each may
// throw (std::bad_alloc); Dashboard::Handle catches. `now` picks the charts'
// last day.
#pragma once

#include <cstdint>
#include <string>

#include "dashboard/page.h"
#include "store/store.h"

namespace intake::dashboard {

PageAnswer OverviewPage(Store& store, UnixSeconds now);
PageAnswer ProductPage(Store& store, const std::string& version, const QueryParams& query,
                       UnixSeconds now);
PageAnswer ItemPage(Store& store, std::int64_t id, UnixSeconds now);
PageAnswer LossesPage(Store& store, UnixSeconds now);
// 401: a form that asks for a read token, and nothing else.
PageAnswer SignInPage(bool refused);

// The first day the charts show.
std::int64_t ChartFirstDay(UnixSeconds now);

// The account causes' names and what each means.
struct CauseText {
  LossCause cause;
  const char* name;
  const char* meaning;
};
extern const CauseText kCauseTexts[4];

}  // namespace intake::dashboard
