/*
** Semaphore, CriticalSection and Mutex: locks between the cooperative
** threads, the Mutex also between processes.  See threads.h for the
** scheduler's part (queues, hand-over, deadlock stop).
**
** Semaphore {initial count, count, waiters}: Signal takes one unit (count
** - 1) and waits while the count is negative; Release gives one back and
** hands it to the first waiter, who runs at once.  A count above the
** initial one is clamped and raises "Called Semaphore.Release too many
** times.".
**
** CriticalSection {entries, owner, waiters}: re-entrant for its owner.
** Leaving the last entry clears the owner and wakes the first waiter; a
** woken waiter checks again (a fiber that ran in between may have entered
** meanwhile) and queues anew if so.
**
** Mutex: a critical section that also holds a lock file open for its
** owner, opened for exclusive use (reading and writing shared with nobody,
** deletion shared so that the holder can remove the file): the platform's
** share modes keep every other handle out, in this process and in others.
** The lock file is the child of the mutex's name in the temporary folder
** (characters that would leave that folder, "\", "/" and ":", and a name
** of "." or "..", are replaced by "_"), or a file of its own there for an
** unnamed mutex (made on first use if the constructor was never called).
** While another process holds the file, Lock polls it every
** kMutexPollMilliseconds, sleeping the waiting fiber in between so that
** other threads run.  A lock file that cannot be opened for another reason
** raises IllegalLockingException with the system's error number.
** The finalizer deletes the lock file only while holding it (the handle it
** holds, or one it can take at that moment), so a file another process
** holds is never pulled from under it.
*/
#include <unistd.h>

#include <optional>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/thread_scheduler.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/paths.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"

namespace p = quendal::platform;

namespace quendal {

namespace {

const char kSource[] = "RuntimeThread";
constexpr uint32_t kMutexPollMilliseconds = 10;
constexpr int kTemporaryNameAttempts = 100;
constexpr DefinitionEntry kNoEntry = {nullptr, nullptr};

[[noreturn]] void ThrowIllegalLocking(const char* message, int32_t errorNumber) {
  StringRef text(StringFromCString(message));
  ThrowExceptionOfDefinition(&kIllegalLockingExceptionDefinition, text.get(), errorNumber);
}

template <typename T>
T* Checked(T* object) {
  if (!object) ThrowNilObjectException();
  return object;
}

/* ---- ownership shared by CriticalSection and Mutex ------------------------------- */

bool OwnedBy(const LockOwnership& lock, const ThreadRecord* r) {
  return lock.entryCount > 0 && lock.owner == r->serial;
}

bool HeldByAnother(const LockOwnership& lock, const ThreadRecord* r) {
  return lock.entryCount > 0 && lock.owner != r->serial;
}

void Take(LockOwnership& lock, const ThreadRecord* r) {
  lock.owner = r->serial;
  lock.entryCount++;
}

/* Waits until the holder lets go (the caller checks again afterwards). */
void WaitForRelease(LockOwnership& lock) {
  WaitOutcome outcome = WaitForHandOver(&lock.waiters);
  if (outcome != WaitOutcome::HandedOver) RaiseWaitFailure(outcome);
}

/* Drops one entry; at the last one clears the owner and wakes the first
** waiter.  Returns true when the lock became free. */
bool DropEntry(LockOwnership& lock) {
  if (--lock.entryCount > 0) return false;
  lock.owner = 0;
  HandOverToFirstWaiter(&lock.waiters);
  return true;
}

/* ---- the Mutex's lock file --------------------------------------------------------- */

std::optional<std::string> TemporaryFolder() {
  p::WCHAR buffer[1024];
  p::DWORD n = p::GetTempPathW(sizeof buffer / sizeof buffer[0], buffer);
  if (n == 0 || n >= sizeof buffer / sizeof buffer[0]) return std::nullopt;
  return p::Utf8FromUtf16(buffer, n);
}

/* The name as one file name: nothing in it may reach outside the folder. */
std::string SafeFileName(ORVAstring name) {
  StringRef utf8(StringConvertToTag(name, kEncodingUTF8));
  std::string file(StringView(utf8.get()));
  for (char& c : file) {
    if (c == '\\' || c == '/' || c == ':' || c == '\0') c = '_';
  }
  if (file == "." || file == "..") file.assign(file.size(), '_');
  return file;
}

p::HANDLE OpenLockFile(const std::string& path, p::DWORD disposition) {
  return p::CreateFileA(path.c_str(), p::GENERIC_READ | p::GENERIC_WRITE, p::FILE_SHARE_DELETE, nullptr,
                        disposition, p::FILE_ATTRIBUTE_NORMAL, nullptr);
}

/* Makes the named lock file when it does not exist yet (an existing one is
** left as it is, held or not). */
void EnsureLockFileExists(const std::string& path) {
  p::HANDLE h = p::CreateFileA(path.c_str(), p::GENERIC_READ | p::GENERIC_WRITE,
                               p::FILE_SHARE_READ | p::FILE_SHARE_WRITE | p::FILE_SHARE_DELETE, nullptr,
                               p::OPEN_ALWAYS, p::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != p::INVALID_HANDLE_VALUE) p::CloseHandle(h);
}

/* A new lock file of its own in the temporary folder; false when none
** could be made. */
bool CreateTemporaryLockFile(MutexObject* m) {
  static uint32_t sequence = 0;
  std::optional<std::string> folder = TemporaryFolder();
  if (!folder) {
    QUENDAL_REPORT(kSource, "tempFolder", nullptr);
    return false;
  }
  for (int attempt = 0; attempt < kTemporaryNameAttempts; attempt++) {
    std::string path = *folder + "QuendalMutex-" + std::to_string(getpid()) + "-" + std::to_string(++sequence) +
                       "-" + std::to_string(p::GetTickCount()) + ".lock";
    p::HANDLE h = p::CreateFileA(path.c_str(), p::GENERIC_READ | p::GENERIC_WRITE,
                                 p::FILE_SHARE_READ | p::FILE_SHARE_WRITE | p::FILE_SHARE_DELETE, nullptr,
                                 p::CREATE_NEW, p::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != p::INVALID_HANDLE_VALUE) {
      p::CloseHandle(h);
      StringRef text(StringCreate(path, kEncodingUTF8));
      StringAssign(&m->lockFile, text.get());
      return true;
    }
    if (p::GetLastError() != p::ERROR_FILE_EXISTS && p::GetLastError() != p::ERROR_ALREADY_EXISTS) break;
  }
  QUENDAL_REPORT(kSource, "mutex->mLockFile", nullptr);
  return false;
}

enum class FileLock { Taken, HeldElsewhere };

/* Tries to take the lock file; raises when it cannot be opened at all. */
FileLock TryTakeLockFile(MutexObject* m) {
  if (!m->lockFile && !CreateTemporaryLockFile(m)) ThrowIllegalLocking("The Mutex has no lock file.", 0);
  p::HANDLE h = OpenLockFile(std::string(StringView(m->lockFile)), p::OPEN_ALWAYS);
  if (h != p::INVALID_HANDLE_VALUE) {
    m->handle = h;
    return FileLock::Taken;
  }
  p::DWORD error = p::GetLastError();
  if (error == p::ERROR_SHARING_VIOLATION) return FileLock::HeldElsewhere;
  ThrowIllegalLocking("The Mutex's lock file cannot be opened.", int32_t(error));
}

void CloseLockFile(MutexObject* m) {
  if (!m->handle) return;
  p::CloseHandle(m->handle);
  m->handle = nullptr;
}

/* ---- class definitions --------------------------------------------------------------- */

const AccessorDefinition kSemaphoreMembers[] = {
    {QUENDAL_ENTRY(Semaphore_Constructor), "Constructor%%o<Semaphore>i4", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(Semaphore_Signal), "Signal%%o<Semaphore>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(Semaphore_TrySignal), "TrySignal%b%o<Semaphore>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(semaphore_release), "Release%%o<Semaphore>", kNoEntry, nullptr, 0},
};

const AccessorDefinition kCriticalSectionMembers[] = {
    {QUENDAL_ENTRY(criticalsection_enter), "Enter%%o<CriticalSection>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(CriticalSection_TryEnter), "TryEnter%b%o<CriticalSection>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(criticalsection_leave), "Leave%%o<CriticalSection>", kNoEntry, nullptr, 0},
};

const AccessorDefinition kMutexMembers[] = {
    {QUENDAL_ENTRY(MutexContructor), "Constructor%%o<Mutex>s", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MutexLock), "Signal%%o<Mutex>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MutexTryLock), "TrySignal%b%o<Mutex>", kNoEntry, nullptr, 0},
    {QUENDAL_ENTRY(MutexUnlock), "Release%%o<Mutex>", kNoEntry, nullptr, 0},
};

} // namespace

const ObjectDefinition kSemaphoreDefinition = {
    .className = "Semaphore",
    .objectSize = int32_t(sizeof(SemaphoreObject)),
    .initializer = QUENDAL_ENTRY(SemaphoreInitializer),
    .finalizer = QUENDAL_ENTRY(SemaphoreFinalizer),
    .accessors = kSemaphoreMembers,
    .accessorCount = int32_t(sizeof kSemaphoreMembers / sizeof kSemaphoreMembers[0]),
};

const ObjectDefinition kCriticalSectionDefinition = {
    .className = "CriticalSection",
    .objectSize = int32_t(sizeof(CriticalSectionObject)),
    .initializer = QUENDAL_ENTRY(CriticalSectionInitializer),
    .finalizer = QUENDAL_ENTRY(CriticalSectionFinalizer),
    .accessors = kCriticalSectionMembers,
    .accessorCount = int32_t(sizeof kCriticalSectionMembers / sizeof kCriticalSectionMembers[0]),
};

const ObjectDefinition kMutexDefinition = {
    .className = "Mutex",
    .objectSize = int32_t(sizeof(MutexObject)),
    .initializer = QUENDAL_ENTRY(MutexInitializer),
    .finalizer = QUENDAL_ENTRY(MutexFinalizer),
    .accessors = kMutexMembers,
    .accessorCount = int32_t(sizeof kMutexMembers / sizeof kMutexMembers[0]),
};

} // namespace quendal

using namespace quendal;

/* ---- Semaphore ---------------------------------------------------------------------- */

extern "C" void SemaphoreInitializer(ObjectHeader* object) {
  auto* s = reinterpret_cast<SemaphoreObject*>(object);
  s->initialCount = 1;
  s->count = 1;
  s->waiters = SimpleVectorCore{0, nullptr, 0, 0};
}

QUENDAL_SERVICE void Semaphore_Constructor(SemaphoreObject* semaphore, int32_t initialCount) {
  QUENDAL_SERVICE_BEGIN
  SemaphoreObject* s = Checked(semaphore);
  if (initialCount <= 0) ThrowIllegalLocking("Illegal initialCount for the Semaphore.", 1);
  s->initialCount = initialCount;
  s->count = initialCount;
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void Semaphore_Signal(SemaphoreObject* semaphore) {
  QUENDAL_SERVICE_BEGIN
  SemaphoreObject* s = Checked(semaphore);
  ObjectRef hold = ObjectRef::Borrow(&s->header);
  CurrentThreadRecord();
  s->count--;
  if (s->count < 0) {
    WaitOutcome outcome = WaitOutcome::Deadlock;
    try {
      outcome = WaitForHandOver(&s->waiters);
    } catch (const RaisedException&) {
      s->count++; /* could not even queue */
      throw;
    }
    if (outcome != WaitOutcome::HandedOver) {
      s->count++;
      RaiseWaitFailure(outcome);
    }
  }
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE bool Semaphore_TrySignal(SemaphoreObject* semaphore) {
  QUENDAL_SERVICE_BEGIN
  SemaphoreObject* s = Checked(semaphore);
  if (s->count - 1 < 0) return false;
  s->count--;
  return true;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE void semaphore_release(SemaphoreObject* semaphore) {
  QUENDAL_SERVICE_BEGIN
  SemaphoreObject* s = Checked(semaphore);
  if (s->count >= s->initialCount) {
    s->count = s->initialCount;
    ThrowIllegalLocking("Called Semaphore.Release too many times.", 0);
  }
  s->count++;
  if (HandOverToFirstWaiter(&s->waiters)) RaiseIfKilled();
  QUENDAL_SERVICE_END_VOID
}

extern "C" void SemaphoreFinalizer(ObjectHeader* object) {
  SimpleVectorFree(&reinterpret_cast<SemaphoreObject*>(object)->waiters);
}

/* ---- CriticalSection --------------------------------------------------------------- */

extern "C" void CriticalSectionInitializer(ObjectHeader* object) {
  reinterpret_cast<CriticalSectionObject*>(object)->lock = LockOwnership{0, 0, SimpleVectorCore{0, nullptr, 0, 0}};
}

QUENDAL_SERVICE void criticalsection_enter(CriticalSectionObject* section) {
  QUENDAL_SERVICE_BEGIN
  CriticalSectionObject* cs = Checked(section);
  ObjectRef hold = ObjectRef::Borrow(&cs->header);
  ThreadRecord* self = CurrentThreadRecord();
  while (HeldByAnother(cs->lock, self)) WaitForRelease(cs->lock);
  Take(cs->lock, self);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE bool CriticalSection_TryEnter(CriticalSectionObject* section) {
  QUENDAL_SERVICE_BEGIN
  CriticalSectionObject* cs = Checked(section);
  ThreadRecord* self = CurrentThreadRecord();
  if (HeldByAnother(cs->lock, self)) return false;
  Take(cs->lock, self);
  return true;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE void criticalsection_leave(CriticalSectionObject* section) {
  QUENDAL_SERVICE_BEGIN
  CriticalSectionObject* cs = Checked(section);
  if (!OwnedBy(cs->lock, CurrentThreadRecord())) {
    ThrowIllegalLocking("The thread which Entered the CriticalSection must be the thread to Leave the CriticalSection",
                        2);
  }
  if (DropEntry(cs->lock)) RaiseIfKilled();
  QUENDAL_SERVICE_END_VOID
}

extern "C" void CriticalSectionFinalizer(ObjectHeader* object) {
  SimpleVectorFree(&reinterpret_cast<CriticalSectionObject*>(object)->lock.waiters);
}

/* ---- Mutex ---------------------------------------------------------------------------- */

extern "C" void MutexInitializer(ObjectHeader* object) {
  auto* m = reinterpret_cast<MutexObject*>(object);
  m->lock = LockOwnership{0, 0, SimpleVectorCore{0, nullptr, 0, 0}};
  m->lockFile = nullptr;
  m->handle = nullptr;
}

QUENDAL_SERVICE void MutexContructor(MutexObject* mutex, ORVAstring name) {
  QUENDAL_SERVICE_BEGIN
  MutexObject* m = Checked(mutex);
  if (m->lock.entryCount > 0) ThrowIllegalLocking("The Mutex is locked.", 0);
  if (StringLength(name) == 0) {
    CreateTemporaryLockFile(m);
    return;
  }
  std::optional<std::string> folder = TemporaryFolder();
  if (!folder) {
    QUENDAL_REPORT(kSource, "tempFolder", nullptr);
    return;
  }
  std::string path = *folder + SafeFileName(name);
  EnsureLockFileExists(path);
  StringRef text(StringCreate(path, kEncodingUTF8));
  StringAssign(&m->lockFile, text.get());
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE void MutexLock(MutexObject* mutex) {
  QUENDAL_SERVICE_BEGIN
  MutexObject* m = Checked(mutex);
  ObjectRef hold = ObjectRef::Borrow(&m->header);
  ThreadRecord* self = CurrentThreadRecord();
  for (;;) {
    if (OwnedBy(m->lock, self)) break; /* re-entered: the file is already ours */
    if (HeldByAnother(m->lock, self)) {
      WaitForRelease(m->lock);
      continue;
    }
    if (TryTakeLockFile(m) == FileLock::Taken) break;
    SleepCurrentRecord(kMutexPollMilliseconds); /* another process holds it */
  }
  Take(m->lock, self);
  QUENDAL_SERVICE_END_VOID
}

QUENDAL_SERVICE bool MutexTryLock(MutexObject* mutex) {
  QUENDAL_SERVICE_BEGIN
  MutexObject* m = Checked(mutex);
  ThreadRecord* self = CurrentThreadRecord();
  if (HeldByAnother(m->lock, self)) return false;
  if (!OwnedBy(m->lock, self) && TryTakeLockFile(m) != FileLock::Taken) return false;
  Take(m->lock, self);
  return true;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE void MutexUnlock(MutexObject* mutex) {
  QUENDAL_SERVICE_BEGIN
  MutexObject* m = Checked(mutex);
  if (!OwnedBy(m->lock, CurrentThreadRecord())) {
    ThrowIllegalLocking("The thread which Signaled the Mutex must be the thread to Release the Mutex", 3);
  }
  if (m->lock.entryCount == 1) CloseLockFile(m);
  if (DropEntry(m->lock)) RaiseIfKilled();
  QUENDAL_SERVICE_END_VOID
}

extern "C" void MutexFinalizer(ObjectHeader* object) {
  auto* m = reinterpret_cast<MutexObject*>(object);
  if (m->lockFile) {
    std::string path(StringView(m->lockFile));
    if (!m->handle) {
      p::HANDLE h = OpenLockFile(path, p::OPEN_EXISTING);
      if (h != p::INVALID_HANDLE_VALUE) m->handle = h;
    }
    if (m->handle) p::DeleteFileA(path.c_str());
  }
  CloseLockFile(m);
  StringAssign(&m->lockFile, nullptr);
  SimpleVectorFree(&m->lock.waiters);
}
