// Shared by the COM tests: the library's server exports, loaded fresh for one
// scenario, and the calls most scenarios begin with.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include "LogError.h"
#include "Win/proc_address.h"
#include "Win/unique_resource.h"
#include "support/log_library.h"

// Test code takes the product's names as they are.
using namespace suite;

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(WINAPI*)();

// The thread's apartment, as every client of the sender must have.
class ComApartment {
 public:
  ComApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT m_hr;
};

class ComServer {
 public:
  ComServer()
      : getClassObject(ProcAs<GetClassObjectFunction>(library.module(), "DllGetClassObject")),
        canUnloadNow(ProcAs<CanUnloadNowFunction>(library.module(), "DllCanUnloadNow")) {}

  bool loaded() const { return getClassObject != nullptr && canUnloadNow != nullptr; }
  bool CanUnload() const { return canUnloadNow() == S_OK; }

  ComPtr<IClassFactory> Factory() const {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_LogSender, IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
  }

  ComPtr<IKRLogSender> CreateSender() const {
    ComPtr<IKRLogSender> sender;
    ComPtr<IClassFactory> factory = Factory();
    if (factory) {
      EXPECT_EQ(factory->CreateInstance(nullptr, IID_IKRLogSender, sender.put_void()), S_OK);
    }
    return sender;
  }

  LogLibrary library;
  GetClassObjectFunction getClassObject;
  CanUnloadNowFunction canUnloadNow;
};
