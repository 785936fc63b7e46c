// Finding a disc's names off a window's thread: the lookup (cache, MusicBrainz,
// CD-Text) runs on a thread of its own and its answer is posted back to the window.
// Destroying the object, or starting again, cancels a lookup still running and waits
// for its thread, which notices within a tenth of a second.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "names/FindDiscNames.h"

class QObject;

namespace ui {

class NamesLookup {
  public:
    using Done = std::function<void(names::NamesAnswer)>;
    NamesLookup() = default;
    ~NamesLookup();
    NamesLookup(const NamesLookup&) = delete;
    NamesLookup& operator=(const NamesLookup&) = delete;

    // Runs FindDiscNames(query) and calls done(answer) on receiver's thread, unless
    // cancelled first.
    void Start(names::NamesQuery query, QObject* receiver, Done done);
    void Cancel();
    bool Running() const;

  private:
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> cancelled_;
    std::shared_ptr<std::atomic<bool>> running_;
};

}  // namespace ui
