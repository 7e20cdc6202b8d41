// The tool as a client of the sender object: the COM apartment it needs, the
// object found through the registration (as the suite's clients find it), and
// the report text with the reason when there is none.
#pragma once

#include <windows.h>

#include <string>

#include "LogError.h"
#include "Win/unique_resource.h"

namespace suite {

// An apartment-threaded COM apartment for the calling thread while it lives.
// Declare it before any COM pointer, so that the pointers go first.
class ComApartment {
 public:
  ComApartment();  // fails with kLibrary when COM cannot start
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment();

 private:
  HRESULT m_initialized;
};

// CoCreateInstance of CLSID_LogSender in-process. Fails with kLibrary, saying
// that the class is not registered for this tool's bitness when it is not.
ComPtr<IKRLogSender> CreateLogSender();

// GetReport with a build request. Fails with kNothing when sending is not
// permitted now or there is no pending log, and with kFile when a pending log
// exists but no report could be built from it.
UniqueBstr FetchReport(IKRLogSender* sender);

// Why SaveReport or GetReport gave nothing: kNothing when there is no pending
// log with records, else kFile with `failure`.
[[noreturn]] void FailForMissingReport(const std::wstring& failure);

}  // namespace suite
