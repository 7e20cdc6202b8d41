// How the writers of one data folder take turns with its active log file.
//
// The file's share mode already lets one writer in at a time: every writer of
// the suite opens it for writing and shares reading only, and the roll-over
// cannot move it while it is open. So while nobody queues, a writer that
// opens the file at once has its turn without any kernel wait. Under Wine a
// mutex's wait and release are two server round trips, a large share of a
// whole open, write and close (docs/performance.md, "Appending records"). A
// writer that cannot open it at once queues on the folder's active log mutex,
// and while anyone queues, newcomers queue behind instead of opening first.
//
// What the mutex's abandonment says about its owner, a shared section beside
// it says about every writer: a write that began and never ended. The section
// lives while any process of the suite has it open; one created afresh has
// seen no write, so until a writer that owns the mutex has checked the file's
// tail, everyone queues.
//
// Where the mutex's name cannot be had (an object of another type holds it,
// or an older build made it with security that shuts this process out), the
// writers of this process go without it: the share mode alone keeps them
// apart from every other writer, and the section, where it can be had, still
// tells of a write that never ended.
#pragma once

#include <windows.h>

#include "Win/folder_mutex.h"
#include "Win/unique_resource.h"

namespace suite {

class ActiveLogGate {
 public:
  ActiveLogGate() = default;
  ActiveLogGate(const ActiveLogGate&) = delete;
  ActiveLogGate& operator=(const ActiveLogGate&) = delete;

  // Opens the folder's active log mutex and section for the file at
  // `pszActiveLogPath`. With `pFirst`, a mutex that no process had open is
  // created owned (as CreateFolderMutex) and `*pFirst` holds that ownership;
  // it stays empty otherwise. False without the mutex: the writers then go
  // without it. Without the section, every writer of this process queues.
  // Allocates, all before the mutex is made: an exception leaves nothing
  // owned. Call it before waiting for anything.
  bool Open(const wchar_t* pszActiveLogPath, MutexHold* pFirst = nullptr);

  // Null when the writers go without the mutex.
  HANDLE mutex() const noexcept { return m_mutex.get(); }

  // True when a writer may open the file without queueing: the tail has
  // been checked and nobody queues.
  bool MayGoAhead() const noexcept;

  // Membership of the queue, from before the mutex wait until the file is
  // closed. A member killed on the way leaves the count high, and writers
  // keep queueing: slower, never unsafe.
  class Membership {
   public:
    Membership() = default;
    explicit Membership(ActiveLogGate* pGate) noexcept;
    Membership(Membership&& other) noexcept;
    Membership& operator=(Membership&& other) noexcept;
    ~Membership();

   private:
    void Leave() noexcept;
    ActiveLogGate* m_pGate = nullptr;
  };
  Membership Join() noexcept { return Membership(this); }

  // With the file open for writing: marks a write as begun. True when an
  // earlier write may have left a torn tail (its writer died, or could not
  // cut back a failed write), or when the tail has not been checked since
  // the section came to be.
  bool BeginWrite() noexcept;
  // Ends the write begun; `bTailWhole` false keeps the doubt for the next
  // writer. A whole tail, checked by a writer that owned the mutex or had
  // none to own, lets writers go ahead of the queue from now on.
  void EndWrite(bool bTailWhole, bool bOwnsMutex) noexcept;

 private:
  struct Shared {
    LONG nQueued;
    LONG nWriting;  // nonzero from BeginWrite to an EndWrite with a whole tail
    LONG nChecked;  // a writer owning the mutex found the tail whole
  };
  Shared* state() noexcept { return m_pShared != nullptr ? m_pShared : &m_local; }

  UniqueKernelHandle m_mutex;
  UniqueKernelHandle m_section;
  UniqueMappedView m_view;
  Shared* m_pShared = nullptr;  // the view's bytes
  // Stands in for the section when it cannot be had. nChecked is set while
  // the mutex's abandonment can tell of a write that never ended, so without
  // the mutex too every write checks the tail first.
  Shared m_local = {};
};

}  // namespace suite
