// The objects behind a platform's handles: each kind in a table of its
// own, numbered from one source so that a number names one object whatever
// its kind. A caller keeps the object alive while it uses it, so a handle
// closed meanwhile never pulls it away.
//
// A transfer looks the same handles up for every block: each thread keeps
// its last lookup of each kind, good until the table next loses a handle,
// so that those lookups take no lock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "os/WinTypes.h"

namespace vornex {

// Handle numbers, never given twice.
class THandleNumbers {
 public:
  explicit THandleNumbers(THandle first = 0x1000) : Next(first) {}
  THandle Issue() { return Next.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<THandle> Next;
};

template <typename TObject>
class THandleTable {
 public:
  using TPointer = std::shared_ptr<TObject>;

  // Numbers of its own, or shared with the platform's other tables.
  THandleTable() : Numbers(&OwnNumbers) {}
  explicit THandleTable(THandleNumbers& numbers) : Numbers(&numbers) {}
  THandleTable(const THandleTable&) = delete;
  THandleTable& operator=(const THandleTable&) = delete;

  // The object under a new number.
  THandle Add(TPointer object) {
    const THandle h = Numbers->Issue();
    Insert(h, std::move(object));
    return h;
  }
  // The object under the number the system gave it.
  void Insert(THandle handle, TPointer object) {
    std::unique_lock<std::shared_mutex> hold(Lock);
    TPointer& slot = Objects[handle];
    // A number the system gives again replaces what it named before.
    if (slot) Restamp();
    slot = std::move(object);
  }
  // Null when the handle is not this table's.
  TPointer Find(THandle handle) const {
    thread_local TRecent recent;
    if (recent.Table == this && recent.Handle == handle &&
        recent.Stamp == Stamp.load(std::memory_order_acquire)) {
      if (TPointer object = recent.Object.lock()) return object;
    }
    std::shared_lock<std::shared_mutex> hold(Lock);
    auto it = Objects.find(handle);
    if (it == Objects.end()) return nullptr;
    recent = TRecent{this, handle, Stamp.load(std::memory_order_relaxed), it->second};
    return it->second;
  }
  // Takes the object out of the table; null when it was not there.
  TPointer Remove(THandle handle) {
    std::unique_lock<std::shared_mutex> hold(Lock);
    auto it = Objects.find(handle);
    if (it == Objects.end()) return nullptr;
    TPointer object = std::move(it->second);
    Objects.erase(it);
    Restamp();
    return object;
  }
  // Empties the table, for an owner that closes what is left at its end.
  std::vector<std::pair<THandle, TPointer>> RemoveAll() {
    std::unique_lock<std::shared_mutex> hold(Lock);
    std::vector<std::pair<THandle, TPointer>> all(Objects.begin(), Objects.end());
    Objects.clear();
    Restamp();
    return all;
  }
  std::size_t Size() const {
    std::shared_lock<std::shared_mutex> hold(Lock);
    return Objects.size();
  }

 private:
  // A thread's last lookup in a table; it holds no object alive.
  struct TRecent {
    const THandleTable* Table = nullptr;
    THandle Handle = 0;
    std::uint64_t Stamp = 0;
    std::weak_ptr<TObject> Object;
  };
  // Stamps are unique in the process, so a lookup kept from a table that is
  // gone never matches another table made at the same address.
  static std::uint64_t NewStamp() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
  }
  // With the lock held exclusively: every kept lookup is stale.
  void Restamp() { Stamp.store(NewStamp(), std::memory_order_release); }

  THandleNumbers OwnNumbers;
  THandleNumbers* Numbers;
  mutable std::shared_mutex Lock;
  std::unordered_map<THandle, TPointer> Objects;
  std::atomic<std::uint64_t> Stamp{NewStamp()};
};

}  // namespace vornex
