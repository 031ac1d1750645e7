#include "shell/shell_selection_query.h"

#include <algorithm>

#include <QObject>

#include "platform/shell_namespace.h"

namespace {

// Entries per attribute query: a newer question is noticed between two
// blocks, and the query's shared reading of the protected places is
// repeated only once per block.
constexpr std::size_t kBlock = 4096;

}  // namespace

TSelectionQuery::TSelectionQuery(QObject* receiver, TAnswerEvent onAnswer)
    : receiver_(receiver), onAnswer_(std::move(onAnswer)) {}

TSelectionQuery::~TSelectionQuery() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    wake_.notify_all();
    thread_.join();
}

void TSelectionQuery::Ask(ShellFolderPtr folder, const std::vector<ConstIDList>& items,
                          std::vector<std::uint32_t> unsized, std::uint32_t request) {
    TQuestion question{newest_ + 1, std::move(folder), {}, {}, std::move(unsized), request};
    question.Starts.reserve(items.size());
    for (ConstIDList item : items) {
        question.Starts.push_back(question.Bytes.size());
        const std::uint8_t* bytes = platform::IDListBytes(item);
        question.Bytes.insert(question.Bytes.end(), bytes, bytes + platform::ItemIDListSize(item));
    }
    {
        std::lock_guard lock(mutex_);
        newest_ = question.Number;
        next_ = std::move(question);
    }
    asking_ = true;
    if (!thread_.joinable()) thread_ = std::jthread([this](std::stop_token stop) { Work(stop); });
    wake_.notify_all();
}

void TSelectionQuery::Drop() {
    if (!asking_) return;
    asking_ = false;
    std::lock_guard lock(mutex_);
    ++newest_;
    next_.reset();
}

void TSelectionQuery::Work(std::stop_token stop) {
    while (!stop.stop_requested()) {
        std::optional<TQuestion> question;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return next_.has_value(); })) return;
            question = std::move(next_);
            next_.reset();
        }
        if (const std::optional<TSelectionAnswer> answer = Answer(*question, stop))
            Deliver(question->Number, *answer);
    }
}

bool TSelectionQuery::Outdated(std::uint64_t number, const std::stop_token& stop) const {
    return stop.stop_requested() || newest_ != number;
}

// None when a newer question came or the query goes. Once no bit is left
// the other entries cannot change the answer (the list takes an unknown
// entry as no bits too).
std::optional<TSelectionAnswer> TSelectionQuery::Answer(const TQuestion& question, const std::stop_token& stop) const {
    TSelectionAnswer answer;
    const std::size_t count = question.Starts.size();
    if (count > 0) answer.Attributes = question.Request;
    std::vector<ConstIDList> block;
    for (std::size_t first = 0; first < count && answer.Attributes.value_or(0) != 0; first += kBlock) {
        if (Outdated(question.Number, stop)) return std::nullopt;
        block.clear();
        for (std::size_t i = first; i < std::min(count, first + kBlock); ++i) block.push_back(question.Item(i));
        const std::optional<std::uint32_t> bits = question.Folder->GetAttributesOf(block, question.Request);
        answer.Attributes = bits ? std::optional(*answer.Attributes & *bits) : std::nullopt;
    }
    for (std::size_t i = 0; i < question.Unsized.size(); ++i) {
        if (i % kBlock == 0 && Outdated(question.Number, stop)) return std::nullopt;
        platform::FindData data;
        if (question.Unsized[i] < count && question.Folder->GetFindData(question.Item(question.Unsized[i]), data))
            answer.Size += data.Size;
    }
    return answer;
}

void TSelectionQuery::Deliver(std::uint64_t number, const TSelectionAnswer& answer) {
    // The receiver owns the query, whose thread is joined before the
    // receiver goes: the call reaches a living query, or none at all.
    QMetaObject::invokeMethod(
        receiver_,
        [this, number, answer] {
            if (!asking_ || newest_ != number) return;
            asking_ = false;
            onAnswer_(answer);
        },
        Qt::QueuedConnection);
}
