#include "hha/Lzx.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "hha/LzxHuffman.h"
#include "support/LeBytes.h"

namespace qb::lzx {

namespace {

constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 257;
constexpr unsigned kNumChars = 256;
constexpr unsigned kPrimaryLengths = 7;
constexpr unsigned kLengthTreeSize = 249;
constexpr unsigned kPretreeSize = 20;
constexpr unsigned kMaxMainTree = kNumChars + 50 * 8;
constexpr unsigned kMaxCodeLen = 16;
constexpr unsigned kMaxPretreeLen = 15;  // pretree lengths travel in 4 bits
constexpr unsigned kBlockVerbatim = 1;
constexpr unsigned kFramesPerBlock = 2;

// Match finder tuning: chain depth, length that ends the search, length at
// which the lazy look one byte ahead is skipped.
constexpr unsigned kHashBits = 15;
constexpr unsigned kMaxChain = 48;
constexpr unsigned kNiceLength = 128;
constexpr unsigned kLazyLimit = 64;

// Bit costs that rank candidate matches until a block's own code lengths
// are known; later blocks are priced with the previous block's lengths.
constexpr std::uint8_t kLiteralBits = 6;
constexpr std::uint8_t kMatchSymbolBits = 9;
constexpr std::uint8_t kLengthSymbolBits = 5;
constexpr std::uint8_t kUnusedSymbolBits = 12;

struct SlotTables {
    std::array<std::uint32_t, 52> base{};
    std::array<std::uint8_t, 51> footer{};
    constexpr SlotTables() {
        for (unsigned s = 0; s < 51; ++s) {
            footer[s] = static_cast<std::uint8_t>(s < 4 ? 0 : s < 36 ? (s - 2) / 2 : 17);
            base[s + 1] = base[s] + (1u << footer[s]);
        }
    }
};
constexpr SlotTables kSlots;

unsigned PositionSlots(unsigned windowBits) {
    static constexpr unsigned kCount[] = {30, 32, 34, 36, 38, 42, 50};
    return kCount[windowBits - 15];
}

// Slot of a formatted offset (real offset + 2), which is at least 3.
inline unsigned SlotOf(std::uint32_t formatted) {
    if (formatted < 4) return formatted;
    if (formatted >= kSlots.base[36]) return 36 + (formatted - kSlots.base[36]) / (1u << 17);
    unsigned n = static_cast<unsigned>(std::bit_width(formatted)) - 1;
    return 2 * n + ((formatted >> (n - 1)) & 1u);
}

// Bits go out most significant first, packed into 16-bit little-endian words.
class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}

    void Put(std::uint32_t value, unsigned n) {
        acc_ = (acc_ << n) | (value & ((1ull << n) - 1));
        count_ += n;
        while (count_ >= 16) {
            count_ -= 16;
            auto word = static_cast<std::uint16_t>(acc_ >> count_);
            out_.push_back(static_cast<char>(word & 0xFF));
            out_.push_back(static_cast<char>(word >> 8));
        }
    }

    void AlignTo16() {
        if (count_) Put(0, 16 - count_);
    }

    std::uint64_t Size() const { return out_.size(); }

private:
    std::string& out_;
    std::uint64_t acc_ = 0;
    unsigned count_ = 0;
};

struct Token {
    std::uint16_t mainSym;
    std::uint16_t lengthSym;  // kNoLength when the length fits the main symbol
    std::uint32_t footer;
    std::uint8_t footerBits;
};
constexpr std::uint16_t kNoLength = 0xFFFF;

// Sends cur as deltas against prev through a pretree of its own.
void WriteLengths(BitWriter& bw, const std::uint8_t* prev, const std::uint8_t* cur, unsigned n) {
    struct Step {
        std::uint8_t sym, extraBits, extra;
    };
    std::vector<Step> steps;
    steps.reserve(n);
    auto delta = [&](unsigned i) { return static_cast<std::uint8_t>((prev[i] + 17 - cur[i]) % 17); };
    for (unsigned i = 0; i < n;) {
        unsigned run = 1;
        if (cur[i] == 0) {
            while (i + run < n && cur[i + run] == 0) ++run;
            if (run >= 4) {
                while (run >= 20) {
                    unsigned take = std::min(run, 51u);
                    steps.push_back({18, 5, static_cast<std::uint8_t>(take - 20)});
                    i += take;
                    run -= take;
                }
                if (run >= 4) {
                    steps.push_back({17, 4, static_cast<std::uint8_t>(run - 4)});
                    i += run;
                    run = 0;
                }
                for (; run; --run, ++i) steps.push_back({delta(i), 0, 0});
                continue;
            }
            steps.push_back({delta(i), 0, 0});
            ++i;
            continue;
        }
        // Decoders differ in which previous length a run takes its delta
        // from, so a run is used only where both old and new lengths agree.
        while (i + run < n && run < 5 && cur[i + run] == cur[i] && prev[i + run] == prev[i]) ++run;
        if (run >= 4) {
            steps.push_back({19, 1, static_cast<std::uint8_t>(run - 4)});
            steps.push_back({delta(i), 0, 0});
            i += run;
        } else {
            steps.push_back({delta(i), 0, 0});
            ++i;
        }
    }

    std::vector<std::uint32_t> freq(kPretreeSize, 0);
    for (const Step& s : steps) ++freq[s.sym];
    std::vector<std::uint8_t> lens = BuildCodeLengths(freq, kMaxPretreeLen);
    std::vector<std::uint16_t> codes = CanonicalCodes(lens);
    for (unsigned s = 0; s < kPretreeSize; ++s) bw.Put(lens[s], 4);
    for (const Step& s : steps) {
        bw.Put(codes[s.sym], lens[s.sym]);
        if (s.extraBits) bw.Put(s.extra, s.extraBits);
    }
}

template <std::size_t N>
std::array<std::uint8_t, N> Filled(std::uint8_t v) {
    std::array<std::uint8_t, N> a;
    a.fill(v);
    return a;
}

// Compresses one reset interval at a time. Nothing carries over from one
// interval to the next (not even the bit prices), so intervals can be
// compressed in any order, on any thread, with the same bytes.
class Encoder {
public:
    explicit Encoder(const Params& p)
        : mainSize_(kNumChars + 8 * PositionSlots(p.windowBits)),
          windowMax_((1u << p.windowBits) - 3),
          ringMask_((1u << p.windowBits) - 1),
          head_(1u << kHashBits),
          chain_(1u << p.windowBits) {}

    // Appends the interval's frames to out; frameOffsets gets where each
    // frame starts in out.
    void Interval(std::string_view input, std::string& out, std::vector<std::uint64_t>& frameOffsets) {
        in_ = reinterpret_cast<const std::uint8_t*>(input.data());
        size_ = input.size();
        std::fill(head_.begin(), head_.end(), -1);
        rep_ = {1, 1, 1};
        std::fill(std::begin(prevMain_), std::end(prevMain_), 0);
        std::fill(std::begin(prevLength_), std::end(prevLength_), 0);
        literalCost_.fill(kLiteralBits);
        matchCost_.fill(kMatchSymbolBits);
        lengthCost_.fill(kLengthSymbolBits);
        headerPending_ = true;
        BitWriter bw(out);
        const std::uint64_t frames = (size_ + kFrameSize - 1) / kFrameSize;
        for (std::uint64_t f = 0; f < frames;) {
            std::uint64_t blockFrames = std::min<std::uint64_t>(kFramesPerBlock, frames - f);
            tokens_.clear();
            frameEnds_.clear();
            for (std::uint64_t i = 0; i < blockFrames; ++i) {
                ParseFrame(f + i);
                frameEnds_.push_back(tokens_.size());
            }
            WriteBlock(bw, f, blockFrames, frameOffsets);
            f += blockFrames;
        }
    }

private:
    struct Candidate {
        unsigned length = 0;
        int gain = 0;
        int repeat = -1;  // index into the repeated offsets, or -1
        std::uint32_t distance = 0;
    };

    std::uint32_t Hash(std::uint64_t pos) const {
        std::uint32_t v = in_[pos] | (in_[pos + 1] << 8) | (in_[pos + 2] << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    void Insert(std::uint64_t pos) {
        if (pos + 3 > size_) return;
        auto rel = static_cast<std::int32_t>(pos);
        std::uint32_t h = Hash(pos);
        chain_[rel & ringMask_] = head_[h];
        head_[h] = rel;
    }

    static unsigned MatchLength(const std::uint8_t* a, const std::uint8_t* b, unsigned limit) {
        unsigned n = 0;
        while (n + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + static_cast<unsigned>(std::countr_zero(x ^ y) / 8);
            n += 8;
        }
        while (n < limit && a[n] == b[n]) ++n;
        return n;
    }

    // Bits saved by a match over sending its bytes as literals.
    int MatchGain(const std::uint8_t* here, unsigned length, unsigned slot) const {
        int literals = 0;
        for (unsigned i = 0; i < length; ++i) literals += literalCost_[here[i]];
        unsigned header = std::min(length - kMinMatch, kPrimaryLengths);
        int cost = matchCost_[slot * 8 + header] + kSlots.footer[slot];
        if (header == kPrimaryLengths) cost += lengthCost_[length - kMinMatch - kPrimaryLengths];
        return literals - cost;
    }

    void UpdateCosts(const std::vector<std::uint8_t>& mainLen, const std::vector<std::uint8_t>& lengthLen) {
        auto cost = [](std::uint8_t len) { return len ? len : kUnusedSymbolBits; };
        for (unsigned s = 0; s < kNumChars; ++s) literalCost_[s] = cost(mainLen[s]);
        for (unsigned s = kNumChars; s < mainSize_; ++s) matchCost_[s - kNumChars] = cost(mainLen[s]);
        for (unsigned s = 0; s < kLengthTreeSize; ++s) lengthCost_[s] = cost(lengthLen[s]);
    }

    Candidate Find(std::uint64_t pos, std::uint64_t frameEnd) const {
        Candidate best;
        const auto limit = static_cast<unsigned>(std::min<std::uint64_t>(kMaxMatch, frameEnd - pos));
        if (limit < kMinMatch) return best;
        const std::uint8_t* here = in_ + pos;
        const std::uint64_t reach = std::min<std::uint64_t>(pos, windowMax_);

        for (int k = 0; k < 3; ++k) {
            if (rep_[k] > reach) continue;
            unsigned len = MatchLength(here - rep_[k], here, limit);
            if (len < kMinMatch) continue;
            int gain = MatchGain(here, len, static_cast<unsigned>(k));
            if (gain > best.gain) best = {len, gain, k, rep_[k]};
        }
        if (best.length >= kNiceLength || best.length >= limit || limit < 3 || pos + 3 > size_) return best;

        const auto rel = static_cast<std::int32_t>(pos);
        std::int32_t cand = head_[Hash(pos)];
        unsigned bestLen = std::max(best.length, 2u);
        for (unsigned steps = kMaxChain; cand >= 0 && steps; --steps) {
            auto dist = static_cast<std::uint32_t>(rel - cand);
            if (dist > reach) break;
            const std::uint8_t* there = here - dist;
            if (there[bestLen] == here[bestLen] && there[0] == here[0] && there[1] == here[1]) {
                unsigned len = MatchLength(there, here, limit);
                if (len > bestLen) {
                    int gain = MatchGain(here, len, SlotOf(dist + 2));
                    if (gain > best.gain) {
                        best = {len, gain, -1, dist};
                        bestLen = len;
                        if (len >= kNiceLength) break;
                    }
                }
            }
            cand = chain_[cand & ringMask_];
        }
        if (best.repeat < 0 && best.length) {
            for (int k = 2; k >= 0; --k)
                if (rep_[k] == best.distance) best.repeat = k;
        }
        return best;
    }

    void EmitLiteral(std::uint64_t pos) { tokens_.push_back({in_[pos], kNoLength, 0, 0}); }

    void EmitMatch(const Candidate& c) {
        Token t{};
        unsigned header = std::min(c.length - kMinMatch, kPrimaryLengths);
        t.lengthSym =
            header == kPrimaryLengths ? static_cast<std::uint16_t>(c.length - kMinMatch - kPrimaryLengths) : kNoLength;
        unsigned slot;
        if (c.repeat >= 0) {
            slot = static_cast<unsigned>(c.repeat);
            std::swap(rep_[0], rep_[slot]);
        } else {
            std::uint32_t formatted = c.distance + 2;
            slot = SlotOf(formatted);
            t.footer = formatted - kSlots.base[slot];
            t.footerBits = kSlots.footer[slot];
            rep_[2] = rep_[1];
            rep_[1] = rep_[0];
            rep_[0] = c.distance;
        }
        t.mainSym = static_cast<std::uint16_t>(kNumChars + slot * 8 + header);
        tokens_.push_back(t);
    }

    void ParseFrame(std::uint64_t frame) {
        std::uint64_t pos = frame * kFrameSize;
        const std::uint64_t end = std::min<std::uint64_t>(size_, pos + kFrameSize);
        while (pos < end) {
            Candidate cur = Find(pos, end);
            Insert(pos);
            if (cur.gain <= 0) {
                EmitLiteral(pos++);
                continue;
            }
            while (cur.length < kLazyLimit && pos + 1 < end) {
                Candidate next = Find(pos + 1, end);
                if (next.gain <= cur.gain) break;
                EmitLiteral(pos++);
                Insert(pos);
                cur = next;
            }
            EmitMatch(cur);
            for (std::uint64_t i = pos + 1; i < pos + cur.length; ++i) Insert(i);
            pos += cur.length;
        }
    }

    void WriteBlock(BitWriter& bw, std::uint64_t firstFrame, std::uint64_t frameCount,
                    std::vector<std::uint64_t>& frameOffsets) {
        std::vector<std::uint32_t> mainFreq(mainSize_, 0), lengthFreq(kLengthTreeSize, 0);
        for (const Token& t : tokens_) {
            ++mainFreq[t.mainSym];
            if (t.lengthSym != kNoLength) ++lengthFreq[t.lengthSym];
        }
        std::vector<std::uint8_t> mainLen = BuildCodeLengths(mainFreq, kMaxCodeLen);
        std::vector<std::uint8_t> lengthLen = BuildCodeLengths(lengthFreq, kMaxCodeLen);
        std::vector<std::uint16_t> mainCode = CanonicalCodes(mainLen);
        std::vector<std::uint16_t> lengthCode = CanonicalCodes(lengthLen);

        const std::uint64_t blockStart = firstFrame * kFrameSize;
        const std::uint64_t blockEnd = std::min<std::uint64_t>(size_, (firstFrame + frameCount) * kFrameSize);

        frameOffsets.push_back(bw.Size());
        if (headerPending_) {
            bw.Put(0, 1);  // no call translation
            headerPending_ = false;
        }
        bw.Put(kBlockVerbatim, 3);
        bw.Put(static_cast<std::uint32_t>(blockEnd - blockStart), 24);
        WriteLengths(bw, prevMain_, mainLen.data(), kNumChars);
        WriteLengths(bw, prevMain_ + kNumChars, mainLen.data() + kNumChars, mainSize_ - kNumChars);
        WriteLengths(bw, prevLength_, lengthLen.data(), kLengthTreeSize);
        std::copy(mainLen.begin(), mainLen.end(), prevMain_);
        std::copy(lengthLen.begin(), lengthLen.end(), prevLength_);
        UpdateCosts(mainLen, lengthLen);

        std::size_t t = 0;
        for (std::uint64_t f = 0; f < frameCount; ++f) {
            if (f) frameOffsets.push_back(bw.Size());
            for (; t < frameEnds_[f]; ++t) {
                const Token& tok = tokens_[t];
                bw.Put(mainCode[tok.mainSym], mainLen[tok.mainSym]);
                if (tok.lengthSym != kNoLength) bw.Put(lengthCode[tok.lengthSym], lengthLen[tok.lengthSym]);
                if (tok.footerBits) bw.Put(tok.footer, tok.footerBits);
            }
            // Decoders drop to the next 16-bit word at every frame end.
            bw.AlignTo16();
        }
    }

    const std::uint8_t* in_ = nullptr;
    std::uint64_t size_ = 0;
    unsigned mainSize_;
    std::uint32_t windowMax_;
    std::uint32_t ringMask_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> chain_;
    std::array<std::uint32_t, 3> rep_{1, 1, 1};
    std::uint8_t prevMain_[kMaxMainTree] = {};
    std::uint8_t prevLength_[kLengthTreeSize] = {};
    bool headerPending_ = true;
    std::vector<Token> tokens_;
    std::vector<std::size_t> frameEnds_;
    std::array<std::uint8_t, kNumChars> literalCost_ = Filled<kNumChars>(kLiteralBits);
    std::array<std::uint8_t, kMaxMainTree - kNumChars> matchCost_ = Filled<kMaxMainTree - kNumChars>(kMatchSymbolBits);
    std::array<std::uint8_t, kLengthTreeSize> lengthCost_ = Filled<kLengthTreeSize>(kLengthSymbolBits);
};

// ControlData (version 2) and ResetTable, as section 0 stores them.
constexpr std::size_t kLzxcControl_Size = 0x00;           // DWORDs that follow: 6
constexpr std::size_t kLzxcControl_Signature = 0x04;      // "LZXC"
constexpr std::size_t kLzxcControl_Version = 0x08;        // 2
constexpr std::size_t kLzxcControl_ResetInterval = 0x0C;  // in 32 KB units
constexpr std::size_t kLzxcControl_WindowSize = 0x10;     // in 32 KB units
constexpr std::size_t kLzxcControl_CacheSize = 0x14;      // 1
constexpr std::size_t kLzxcControl_Unknown = 0x18;        // 0
constexpr std::size_t kLzxcControl_Length = 0x1C;

constexpr std::size_t kResetTable_Version = 0x00;  // 2
constexpr std::size_t kResetTable_NumEntries = 0x04;
constexpr std::size_t kResetTable_EntrySize = 0x08;    // 8
constexpr std::size_t kResetTable_TableOffset = 0x0C;  // 0x28, the header's length
constexpr std::size_t kResetTable_UncompLen = 0x10;    // QWORDs from here on
constexpr std::size_t kResetTable_CompLen = 0x18;
constexpr std::size_t kResetTable_FrameLen = 0x20;
constexpr std::size_t kResetTable_Entries = 0x28;

}  // namespace

void Validate(const Params& p) {
    if (p.windowBits < 15 || p.windowBits > 21)
        throw qb::Error("LZX window must be 32 KB to 2 MB (window bits 15 to 21)");
    if (p.resetIntervalFrames < 1) throw qb::Error("LZX reset interval must be at least one frame");
}

std::uint32_t WindowSizeUnits(const Params& p) {
    Validate(p);
    return (1u << p.windowBits) / kFrameSize;
}

std::uint32_t ResetIntervalUnits(const Params& p) {
    Validate(p);
    return p.resetIntervalFrames;
}

std::string ControlData(const Params& p) {
    std::string out(kLzxcControl_Length, '\0');
    qb::Set32(out, kLzxcControl_Size, 6);
    out.replace(kLzxcControl_Signature, 4, "LZXC");
    qb::Set32(out, kLzxcControl_Version, 2);
    qb::Set32(out, kLzxcControl_ResetInterval, ResetIntervalUnits(p));
    qb::Set32(out, kLzxcControl_WindowSize, WindowSizeUnits(p));
    qb::Set32(out, kLzxcControl_CacheSize, 1);
    qb::Set32(out, kLzxcControl_Unknown, 0);
    return out;
}

std::string ResetTable(const std::vector<std::uint64_t>& frameOffsets, std::uint64_t uncompressedSize,
                       std::uint64_t compressedSize) {
    std::string out(kResetTable_Entries, '\0');
    qb::Set32(out, kResetTable_Version, 2);
    qb::Set32(out, kResetTable_NumEntries, static_cast<std::uint32_t>(frameOffsets.size()));
    qb::Set32(out, kResetTable_EntrySize, 8);
    qb::Set32(out, kResetTable_TableOffset, kResetTable_Entries);
    qb::Set64(out, kResetTable_UncompLen, uncompressedSize);
    qb::Set64(out, kResetTable_CompLen, compressedSize);
    qb::Set64(out, kResetTable_FrameLen, kFrameSize);
    for (std::uint64_t off : frameOffsets) qb::Put64(out, off);
    return out;
}

std::string ResetTable(const Result& r) { return ResetTable(r.frameOffsets, r.uncompressedSize, r.data.size()); }

struct StreamCompressor::Impl {
    struct Job {
        std::string input, output;
        std::vector<std::uint64_t> offsets;
        bool done = false;
    };

    Impl(const Params& p, Sink s, unsigned threads, std::function<bool()> poll)
        : params(p), sink(std::move(s)), keepGoing(std::move(poll)) {
        Validate(p);
        intervalBytes = static_cast<std::size_t>(p.resetIntervalFrames) * kFrameSize;
        if (threads <= 1) {
            inline_ = std::make_unique<Encoder>(p);
            return;
        }
        // Enough intervals in flight to keep every worker busy while the
        // writer waits for the oldest one; memory stays a few intervals each.
        maxInFlight = 4 * threads;
        for (unsigned t = 0; t < threads; ++t) workers.emplace_back([this] { Work(); });
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        workToDo.notify_all();
        for (std::thread& t : workers) t.join();
    }

    void Work() {
        Encoder encoder(params);
        for (;;) {
            Job* job;
            {
                std::unique_lock lock(mutex);
                workToDo.wait(lock, [&] { return stopping || !pending.empty(); });
                if (stopping) return;
                job = pending.front();
                pending.pop_front();
            }
            try {
                encoder.Interval(job->input, job->output, job->offsets);
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!error) error = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                job->done = true;
                std::string().swap(job->input);
            }
            jobDone.notify_all();
        }
    }

    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            if (total % kFrameSize == 0 && keepGoing && !keepGoing()) throw Cancelled();
            std::size_t room = std::min<std::uint64_t>(kFrameSize - total % kFrameSize, intervalBytes - buffer.size());
            std::size_t n = std::min(room, bytes.size());
            if (buffer.capacity() < intervalBytes) buffer.reserve(intervalBytes);
            buffer.append(bytes.data(), n);
            bytes.remove_prefix(n);
            total += n;
            if (buffer.size() == intervalBytes) Submit();
        }
    }

    void Submit() {
        auto job = std::make_unique<Job>();
        job->input.swap(buffer);
        if (inline_) {
            inline_->Interval(job->input, job->output, job->offsets);
            Emit(*job);
            return;
        }
        {
            std::lock_guard lock(mutex);
            pending.push_back(job.get());
            order.push_back(std::move(job));
        }
        workToDo.notify_one();
        Drain(maxInFlight);
    }

    // Hands finished intervals to the sink in stream order until at most
    // `keep` are left in flight.
    void Drain(std::size_t keep) {
        std::unique_lock lock(mutex);
        while (!order.empty() && (order.front()->done || order.size() > keep)) {
            jobDone.wait(lock, [&] { return order.front()->done; });
            if (error) std::rethrow_exception(error);
            std::unique_ptr<Job> job = std::move(order.front());
            order.pop_front();
            lock.unlock();
            Emit(*job);
            lock.lock();
        }
        if (error) std::rethrow_exception(error);
    }

    void Emit(const Job& job) {
        for (std::uint64_t o : job.offsets) frameOffsets.push_back(compressed + o);
        compressed += job.output.size();
        if (!job.output.empty()) sink(job.output);
    }

    void Finish() {
        if (!buffer.empty()) Submit();
        if (!inline_) Drain(0);
    }

    Params params;
    Sink sink;
    std::function<bool()> keepGoing;
    std::size_t intervalBytes = 0;
    std::string buffer;  // the interval being filled
    std::uint64_t total = 0, compressed = 0;
    std::vector<std::uint64_t> frameOffsets;
    std::unique_ptr<Encoder> inline_;  // set when there are no worker threads

    std::size_t maxInFlight = 0;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable workToDo, jobDone;
    std::deque<Job*> pending;                // not yet taken by a worker
    std::deque<std::unique_ptr<Job>> order;  // submitted, not yet written
    bool stopping = false;
    std::exception_ptr error;
};

StreamCompressor::StreamCompressor(const Params& p, Sink sink, unsigned threads, std::function<bool()> keepGoing)
    : impl_(std::make_unique<Impl>(p, std::move(sink), threads, std::move(keepGoing))) {}

StreamCompressor::~StreamCompressor() = default;

void StreamCompressor::Write(std::string_view bytes) { impl_->Write(bytes); }

void StreamCompressor::Finish() { impl_->Finish(); }

std::uint64_t StreamCompressor::UncompressedSize() const { return impl_->total; }

std::uint64_t StreamCompressor::CompressedSize() const { return impl_->compressed; }

const std::vector<std::uint64_t>& StreamCompressor::FrameOffsets() const { return impl_->frameOffsets; }

Result Compress(std::string_view input, const Params& p, const std::function<bool()>& keepGoing, unsigned threads) {
    Validate(p);
    Result result;
    result.uncompressedSize = input.size();
    if (input.empty()) return result;
    result.data.reserve(input.size() / 3 + 64);
    StreamCompressor stream(
        p, [&](std::string_view bytes) { result.data.append(bytes); }, threads, keepGoing);
    stream.Write(input);
    stream.Finish();
    result.frameOffsets = stream.FrameOffsets();
    // No slack after the last frame: some readers insist that a frame's
    // bytes are used up exactly.
    return result;
}

}  // namespace qb::lzx
