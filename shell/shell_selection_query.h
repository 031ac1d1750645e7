#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "shell/shell_id_func.h"

class QObject;

// What a large selection's entries hold together, found on a thread of its
// own: the attribute query costs a few system calls per entry, and the
// sizes of entries whose facts were never read one more, which on 100,000
// entries would hold the window for half a second or more.
struct TSelectionAnswer {
    // The requested attribute bits every entry holds; none when an entry
    // is unknown to its folder.
    std::optional<std::uint32_t> Attributes;
    // The sizes of the entries handed in as unsized, added up.
    std::uint64_t Size = 0;
};

class TSelectionQuery {
public:
    using TAnswerEvent = std::function<void(const TSelectionAnswer&)>;

    // Answers reach receiver's thread (the main thread), through onAnswer.
    TSelectionQuery(QObject* receiver, TAnswerEvent onAnswer);
    ~TSelectionQuery();
    TSelectionQuery(const TSelectionQuery&) = delete;
    TSelectionQuery& operator=(const TSelectionQuery&) = delete;

    // Asks about items (relative to folder; copied) and the sizes of the
    // items at the positions unsized. A question still open is dropped:
    // only the newest one is answered.
    void Ask(ShellFolderPtr folder, const std::vector<ConstIDList>& items, std::vector<std::uint32_t> unsized,
             std::uint32_t request);
    // Drops the open question, if any: no answer comes for it.
    void Drop();
    bool Asking() const { return asking_; }

private:
    struct TQuestion {
        std::uint64_t Number = 0;
        ShellFolderPtr Folder;
        // The items' bytes one after another, copied in one piece rather
        // than one allocation per item, and where each starts.
        std::vector<std::uint8_t> Bytes;
        std::vector<std::size_t> Starts;
        std::vector<std::uint32_t> Unsized;
        std::uint32_t Request = 0;

        ConstIDList Item(std::size_t index) const { return platform::IDListAt(Bytes.data() + Starts[index]); }
    };

    void Work(std::stop_token stop);
    std::optional<TSelectionAnswer> Answer(const TQuestion& question, const std::stop_token& stop) const;
    bool Outdated(std::uint64_t number, const std::stop_token& stop) const;
    void Deliver(std::uint64_t number, const TSelectionAnswer& answer);

    QObject* receiver_;
    TAnswerEvent onAnswer_;
    bool asking_ = false;
    // The newest question's number; a question with an older one stops.
    std::atomic<std::uint64_t> newest_{0};
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::optional<TQuestion> next_;
    // Made at the first question; joined (after the current block of
    // entries) when the query goes.
    std::jthread thread_;
};
