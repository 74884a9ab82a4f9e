// Scoring a log as it is read, the tallies then put in call-sign order's
// order; see StreamScorer in Scorer.h.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <thread>

#include "Scorer.h"
#include "scoring/Text.h"

namespace yol::score {
namespace {

constexpr std::size_t kDepth = 4;  // batches waiting at most

// The call's first eight bytes, big-endian, zero-padded.
std::uint64_t PrefixOf(std::string_view call) noexcept {
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < call.size() ? static_cast<unsigned char>(call[i]) : 0u);
    return prefix;
}

}  // namespace

// Contacts in file order from the reading thread to the scoring thread: each
// field a length byte and its bytes (cut to 255 as the record cuts them).
struct StreamScorer::Batch {
    struct Key {
        std::uint64_t prefix;  // the call's first eight bytes
        std::uint32_t offset;  // where the contact starts in `bytes`
        std::uint32_t at;      // its place in the batch
    };
    std::string bytes;
    std::vector<Key> keys;
    std::size_t first = 0;  // file position of the batch's first contact
};

// Full batches wait here (a few at most); drained ones go back to be filled
// again.
struct StreamScorer::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch> full;
    std::vector<Batch> spare;
    bool closed = false;
    std::atomic<bool> stop{false};  // the scoring gave up: batches are no longer needed
    std::exception_ptr error;
    std::thread thread;
    Batch filling;
};

StreamScorer::StreamScorer(OperatorOf operatorOf, bool concurrent, std::size_t batchSize)
    : operatorOf_(std::move(operatorOf)),
      batchSize_(batchSize == 0 ? 1 : batchSize),
      book_(std::make_unique<TScoreBook>()),
      queue_(concurrent ? std::make_unique<Queue>() : nullptr) {}

StreamScorer::~StreamScorer() {
    if (queue_ && queue_->thread.joinable()) {
        queue_->stop.store(true);
        {
            const std::lock_guard lock(queue_->mutex);
            queue_->closed = true;
        }
        queue_->changed.notify_all();
        queue_->thread.join();
    }
}

void StreamScorer::Station(std::string_view callSign) {
    if (station_.empty()) station_.assign(callSign);
}

void StreamScorer::Problem(const contestlog::LogProblem& problem) {
    ++problems_;
    if (onProblem) onProblem(problem);
}

void StreamScorer::Contact(const contestlog::ContactView& e) {
    const std::size_t index = size_++;
    if (e.dxcc.empty()) ++withoutCountry_;
    if (!fallback_.empty()) return;
    if (e.call.size() > 255) {
        fallback_ = "a call sign longer than 255 bytes";
        return;
    }
    if (!record_) {
        operator_ = operatorOf_(station_);
        record_ = std::make_unique<ContactRecord>();
        StoreShortText(record_->MyDXCCPrefix, operator_.prefix);
        StoreShortText(record_->MyContinent, operator_.continent);
    }
    if (!queue_) {
        Score(e, index);
        if (!scoringFallback_.empty()) fallback_ = scoringFallback_;
        return;
    }
    if (queue_->stop.load(std::memory_order_relaxed)) return;
    Batch& b = queue_->filling;
    if (b.bytes.size() > 0xFFFFFFFFu - 8 * 256) Submit();  // offsets stay 32-bit
    if (b.keys.empty()) b.first = index;
    b.keys.push_back({PrefixOf(e.call), static_cast<std::uint32_t>(b.bytes.size()),
                      static_cast<std::uint32_t>(index - b.first)});
    const std::string_view texts[] = {e.call,   e.band,   e.mode,  e.report,
                                      e.dxcc, e.mainPrefix, e.continent};
    std::size_t size = std::size(texts);
    for (const std::string_view text : texts) size += std::min<std::size_t>(text.size(), 255);
    const std::size_t at = b.bytes.size();
    b.bytes.resize(at + size);
    char* p = b.bytes.data() + at;
    for (const std::string_view text : texts) {
        const std::size_t n = std::min<std::size_t>(text.size(), 255);
        *p++ = static_cast<char>(static_cast<unsigned char>(n));
        if (n) std::memcpy(p, text.data(), n);
        p += n;
    }
    if (b.keys.size() == batchSize_) Submit();
}

void StreamScorer::Submit() {
    Queue& q = *queue_;
    Batch& b = q.filling;
    if (b.keys.empty()) return;
    if (!q.thread.joinable()) q.thread = std::thread([this] { Work(); });
    Batch next;
    {
        std::unique_lock lock(q.mutex);
        q.changed.wait(lock, [&] { return q.full.size() < kDepth; });
        q.full.push_back(std::move(b));
        if (!q.spare.empty()) {
            next = std::move(q.spare.back());
            q.spare.pop_back();
        }
    }
    q.changed.notify_all();
    b = std::move(next);
    b.bytes.clear();
    b.keys.clear();
}

void StreamScorer::Work() {
    Queue& q = *queue_;
    for (;;) {
        Batch batch;
        {
            std::unique_lock lock(q.mutex);
            q.changed.wait(lock, [&] { return !q.full.empty() || q.closed; });
            if (q.full.empty()) return;
            batch = std::move(q.full.front());
            q.full.pop_front();
        }
        q.changed.notify_all();
        if (!q.stop.load(std::memory_order_relaxed)) {
            try {
                ScoreBatch(batch);
            } catch (...) {
                q.error = std::current_exception();
            }
            if (q.error || !scoringFallback_.empty()) q.stop.store(true, std::memory_order_relaxed);
        }
        const std::lock_guard lock(q.mutex);
        q.spare.push_back(std::move(batch));
    }
}

void StreamScorer::ScoreBatch(Batch& batch) {
    // The contacts go to the book in call-sign order within the batch (equal
    // calls in file order): each lands near the one before it in the book's
    // contact list, which costs less than file order's random places.
    const std::string& bytes = batch.bytes;
    auto callAt = [&bytes](std::uint32_t offset) {
        return std::string_view(bytes.data() + offset + 1, static_cast<unsigned char>(bytes[offset]));
    };
    std::sort(batch.keys.begin(), batch.keys.end(), [&](const Batch::Key& x, const Batch::Key& y) {
        if (x.prefix != y.prefix) return x.prefix < y.prefix;
        const int c = callAt(x.offset).compare(callAt(y.offset));
        return c != 0 ? c < 0 : x.at < y.at;
    });
    contestlog::ContactView c;
    std::string_view* const fields[] = {&c.call, &c.band,       &c.mode,     &c.report,
                                        &c.dxcc, &c.mainPrefix, &c.continent};
    const std::size_t count = batch.keys.size();
    for (std::size_t k = 0; k < count; ++k) {
        // The bytes were written on the other core and are read out of
        // order: a few contacts are fetched ahead.
        constexpr std::size_t kAhead = 8;
#if defined(__GNUC__)
        if (k + kAhead < count) __builtin_prefetch(bytes.data() + batch.keys[k + kAhead].offset);
#endif
        const char* p = bytes.data() + batch.keys[k].offset;
        for (std::string_view* field : fields) {
            const std::size_t n = static_cast<unsigned char>(*p++);
            *field = {p, n};
            p += n;
        }
        Score(c, batch.first + batch.keys[k].at);
        if (!scoringFallback_.empty()) return;
    }
}

void StreamScorer::Score(const contestlog::ContactView& contact, std::size_t index) {
    contestlog::StoreLogRow(*record_, contact);
    // A duplicate has an earlier twin with the same call sign and band: it
    // is never its band's least (call sign, position).
    if (book_->Evaluate(*record_, true) < 0) {
        ++duplicates_;
        return;
    }
    const std::string_view band = ReadShortText(record_->DigiBand);
    const std::string_view call = ReadShortText(record_->CallSign);
    // Bands are numbered here as the book numbers its tallies: in the order
    // recorded contacts first bring them.
    const auto [id, added] = bandIds_.Intern(band);
    if (!added) {
        Winner& w = winners_[id];
        if (call < w.call || (call == w.call && index < w.index)) {
            w.call.assign(call);
            w.index = index;
        }
        return;
    }
    if (book_->Tallies().size() != winners_.size() + 1)
        throw std::logic_error("the score book's tallies and the scorer's bands went apart");
    if (band.find('|') != std::string_view::npos) {
        scoringFallback_ = "a band text holding '|'";
        return;
    }
    folded_.assign(band);
    FoldCaseInPlace(folded_);
    if (!foldedBands_.Intern(folded_).second) {
        scoringFallback_ = "two band texts equal without regard to letter case";
        return;
    }
    winners_.push_back({std::string(call), index});
}

void StreamScorer::Finish() {
    if (queue_) {
        Queue& q = *queue_;
        if (fallback_.empty() && !q.stop.load()) Submit();
        if (q.thread.joinable()) {
            {
                const std::lock_guard lock(q.mutex);
                q.closed = true;
            }
            q.changed.notify_all();
            q.thread.join();
        }
        if (q.error) std::rethrow_exception(q.error);
    }
    if (fallback_.empty()) fallback_ = scoringFallback_;
    if (!fallback_.empty()) book_.reset();  // of no use; the sorted scoring needs the room
}

std::vector<TStatistic> StreamScorer::Tallies() const {
    std::vector<TStatistic> out;
    if (!book_) return out;
    std::vector<std::size_t> order(winners_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        const Winner &x = winners_[a], &y = winners_[b];
        return x.call != y.call ? x.call < y.call : x.index < y.index;
    });
    for (const std::size_t i : order) out.push_back(book_->Tallies()[i]);
    return out;
}

}  // namespace yol::score
