// The in-process server: exports, class factory, aggregation and the module
// lock count, against the library as a client process loads it.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "com_test_helpers.h"
#include "support/temp_data_folder.h"

using namespace suite;

namespace {

void* const kGarbage = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5A5A5A5A));

// An outer object that only counts what reaches it.
class CountingOuter : public IUnknown {
 public:
  STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
    ++queries;
    if (!InlineIsEqualGUID(riid, IID_IUnknown)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHOD_(ULONG, AddRef)() override { return ++addRefs; }
  STDMETHOD_(ULONG, Release)() override { return ++releases; }

  ULONG queries = 0;
  ULONG addRefs = 0;
  ULONG releases = 0;
};

class ComServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.loaded()); }

  void ExpectUnloadable(bool expected, const char* when) {
    EXPECT_EQ(m_server.canUnloadNow(), expected ? S_OK : S_FALSE) << when;
  }

  TempDataFolder m_folder;
  ComServer m_server;
};

TEST_F(ComServerTest, LockCountFollowsEveryHolder) {
  ExpectUnloadable(true, "fresh process");

  ComPtr<IClassFactory> first = m_server.Factory();
  ComPtr<IClassFactory> second = m_server.Factory();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first.get(), second.get());
  ExpectUnloadable(false, "factory held twice");
  first.reset();
  ExpectUnloadable(false, "factory held once");
  second.reset();
  ExpectUnloadable(true, "factory released; the cache alone does not lock");

  ComPtr<IClassFactory> factory = m_server.Factory();
  ASSERT_TRUE(factory);
  ComPtr<IKRLogSender> plain;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IKRLogSender, plain.put_void()), S_OK);
  CountingOuter outer;
  ComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.put_void()), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  ExpectUnloadable(false, "objects and a server lock");
  plain.reset();
  ExpectUnloadable(false, "aggregate and a server lock");
  inner.reset();
  ExpectUnloadable(false, "server lock");
  factory = m_server.Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.reset();
  ExpectUnloadable(true, "everything released");

  // A query the object cannot answer destroys it again.
  factory = m_server.Factory();
  void* object = kGarbage;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  factory.reset();
  ExpectUnloadable(true, "after a failed CreateInstance");
}

TEST_F(ComServerTest, FirstRequestsFromManyThreadsShareOneFactory) {
  std::vector<IClassFactory*> factories(8, nullptr);
  std::vector<std::thread> threads;
  for (IClassFactory*& factory : factories) {
    threads.emplace_back([this, &factory] {
      m_server.getClassObject(CLSID_LogSender, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (IClassFactory* factory : factories) {
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory, factories[0]);
  }
  for (IClassFactory* factory : factories) factory->Release();
  ExpectUnloadable(true, "all threads released");
}

TEST_F(ComServerTest, BadRequestsFailCleanly) {
  EXPECT_EQ(m_server.getClassObject(CLSID_LogSender, IID_IClassFactory, nullptr), E_POINTER);

  void* out = kGarbage;
  EXPECT_EQ(m_server.getClassObject(IID_IKRLogSender, IID_IClassFactory, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = kGarbage;
  EXPECT_EQ(m_server.getClassObject(CLSID_LogSender, IID_IKRLogSender, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  ComPtr<IClassFactory> factory = m_server.Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IKRLogSender, nullptr), E_POINTER);
  CountingOuter outer;
  out = kGarbage;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IKRLogSender, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outer.addRefs, 0u);

  ComPtr<IKRLogSender> sender;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IKRLogSender, sender.put_void()), S_OK);
  EXPECT_EQ(sender->QueryInterface(IID_IKRLogSender, nullptr), E_POINTER);
  out = kGarbage;
  EXPECT_EQ(sender->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  out = kGarbage;
  EXPECT_EQ(factory->QueryInterface(IID_IKRLogSender, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);

  // Identity: IUnknown of an object is the object the interface came from.
  ComPtr<IUnknown> identity;
  ASSERT_EQ(sender->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(static_cast<void*>(identity.get()), static_cast<void*>(sender.get()));
  EXPECT_EQ(sender->AddRef(), 3u);
  EXPECT_EQ(sender->Release(), 2u);

  sender.reset();
  identity.reset();
  factory.reset();
  ExpectUnloadable(true, "after the bad requests");
}

TEST_F(ComServerTest, AggregatedSenderDelegatesToTheOuterObject) {
  ComPtr<IClassFactory> factory = m_server.Factory();
  ASSERT_TRUE(factory);
  CountingOuter outer;
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  factory.reset();
  EXPECT_EQ(outer.addRefs, 0u);
  EXPECT_EQ(inner->QueryInterface(IID_IKRLogSender, nullptr), E_POINTER);

  IKRLogSender* sender = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IKRLogSender, reinterpret_cast<void**>(&sender)), S_OK);
  EXPECT_EQ(outer.addRefs, 1u);
  sender->AddRef();
  EXPECT_EQ(outer.addRefs, 2u);
  sender->Release();
  sender->Release();
  EXPECT_EQ(outer.releases, 2u);

  // The sender's IUnknown is the outer object's; the inner one is its own.
  IUnknown* viaSender = nullptr;
  ASSERT_EQ(sender->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaSender)), S_OK);
  EXPECT_EQ(viaSender, &outer);
  EXPECT_EQ(outer.queries, 1u);
  IUnknown* viaInner = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInner)), S_OK);
  EXPECT_EQ(viaInner, inner);
  EXPECT_EQ(viaInner->Release(), 1u);

  EXPECT_EQ(sender->GetReport(nullptr, 0), 1);  // the methods work through the aggregate
  ExpectUnloadable(false, "aggregate alive");
  EXPECT_EQ(inner->Release(), 0u);
  ExpectUnloadable(true, "aggregate destroyed");
}

}  // namespace
