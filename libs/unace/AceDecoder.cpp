#include "AceDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace ace {

namespace {

// Packed data is read as little-endian 32-bit words, each from its top bit down. Peeking past the
// end sees zero bits; consuming past the end is noticed through Overrun(), which callers check
// often enough that garbage can never spin for long.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size), limit_(static_cast<uint64_t>(size) * 8) {}

    uint32_t Peek(unsigned n)
    {
        if (avail_ < static_cast<int>(n))
            Refill();
        return n == 0 ? 0 : static_cast<uint32_t>(buf_ >> (64 - n));
    }
    void Skip(unsigned n)
    {
        buf_ <<= n;
        avail_ -= static_cast<int>(n);
    }
    uint32_t Read(unsigned n)
    {
        uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    bool Overrun() const { return loaded_ - static_cast<uint64_t>(avail_) > limit_; }

private:
    // One word is enough: it is only needed when fewer than 32 bits are left.
    void Refill()
    {
        uint32_t w = 0;
        if (next_ + 4 <= size_) {
            const uint8_t* p = data_ + next_;
            w = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
                (static_cast<uint32_t>(p[3]) << 24);
        } else {
            for (size_t i = 0; next_ + i < size_ && i < 4; ++i)
                w |= static_cast<uint32_t>(data_[next_ + i]) << (8 * i);
        }
        next_ += 4;
        buf_ |= static_cast<uint64_t>(w) << (32 - avail_);
        avail_ += 32;
        loaded_ += 32;
    }

    const uint8_t* data_;
    size_t size_;
    size_t next_ = 0;
    uint64_t buf_ = 0;
    int avail_ = 0;
    uint64_t loaded_ = 0;
    uint64_t limit_;
};

constexpr int kMaxSymbols = 290;

// A direct lookup table over the next maxw bits; each entry is symbol | bits to consume << 12.
struct HuffTable {
    int maxw = 0;
    uint32_t filled = 0;
    std::array<uint16_t, 2048> entries;  // only the first `filled` are ever read
};

// The archiver hands out codes of equal width in the order its own quicksort leaves the symbols
// in, so that sort is reproduced step for step. An entry is the width above the symbol's number,
// so one swap moves both.
constexpr int kSymbolBits = 9;
using SortEntry = uint16_t;

unsigned WidthOf(SortEntry e) { return e >> kSymbolBits; }

// What Partition does to a stretch of equal widths, without comparing: it reverses the stretch,
// then goes on with both halves (which share the middle entry when the length is odd).
void PartitionEqual(SortEntry* e, int lo, int hi)
{
    int i = lo, j = hi;
    do {
        std::swap(e[i], e[j]);
        ++i;
        --j;
    } while (i < j);
    if (lo < j - 1)
        PartitionEqual(e, lo, j);
    if (i < hi - 1)
        PartitionEqual(e, i, hi);
}

// Symbols of width 0 get no code, so how they are ordered among themselves never matters unless
// no symbol has a width (then the first one gets a code); a stretch of them is left as it is.
void Partition(SortEntry* e, int lo, int hi, bool unusedMatter)
{
    const unsigned pivot = WidthOf(e[hi]);
    if (WidthOf(e[lo]) == pivot) {
        int k = lo + 1;
        while (k < hi && WidthOf(e[k]) == pivot)
            ++k;
        if (k == hi) {
            if (pivot != 0 || unusedMatter)
                PartitionEqual(e, lo, hi);
            return;
        }
    }
    // Compared whole: an entry is wider than the pivot from `above` on, narrower below `below`.
    const unsigned above = (pivot + 1) << kSymbolBits;
    const unsigned below = pivot << kSymbolBits;
    int i = lo, j = hi;
    do {
        while (i < hi && e[i] >= above)
            ++i;
        while (j > lo && e[j] < below)
            --j;
        if (i <= j) {
            std::swap(e[i], e[j]);
            ++i;
            --j;
        }
    } while (i < j);
    if (lo < j) {
        if (lo < j - 1)
            Partition(e, lo, j, unusedMatter);
        else if (WidthOf(e[lo]) < WidthOf(e[j]))
            std::swap(e[lo], e[j]);
    }
    if (i < hi) {
        if (i < hi - 1)
            Partition(e, i, hi, unusedMatter);
        else if (WidthOf(e[i]) < WidthOf(e[hi]))
            std::swap(e[i], e[hi]);
    }
}

bool BuildTable(const uint8_t* width, int count, int maxw, HuffTable& t)
{
    SortEntry e[kMaxSymbols];
    bool anyUsed = false;
    for (int k = 0; k < count; ++k) {
        if (width[k] > maxw)  // also keeps the width inside its bits of the entry
            return false;
        e[k] = static_cast<SortEntry>((width[k] << kSymbolBits) | k);
        anyUsed |= width[k] != 0;
    }
    if (count > 1)
        Partition(e, 0, count - 1, !anyUsed);
    int used = 0;
    while (used < count && WidthOf(e[used]) != 0)
        ++used;
    // A lone symbol is decoded by one bit whatever its width says.
    int loneSymbol = -1;
    if (used < 2) {
        loneSymbol = e[0] & ((1 << kSymbolBits) - 1);
        if (used == 0)
            used = 1;
    }
    const uint32_t size = 1u << maxw;
    uint32_t pos = 0;
    for (int k = used - 1; k >= 0; --k) {
        const unsigned w = WidthOf(e[k]);
        const uint32_t symbol = e[k] & ((1u << kSymbolBits) - 1);
        uint32_t cnt = 1u << (maxw - w);
        if (pos + cnt > size)
            return false;
        const uint32_t bits = static_cast<int>(symbol) == loneSymbol ? 1 : w;
        std::fill(t.entries.begin() + pos, t.entries.begin() + pos + cnt, static_cast<uint16_t>(symbol | (bits << 12)));
        pos += cnt;
    }
    t.maxw = maxw;
    t.filled = pos;
    return true;
}

inline bool DecodeSymbol(BitReader& br, const HuffTable& t, unsigned& symbol)
{
    uint32_t x = br.Peek(static_cast<unsigned>(t.maxw));
    if (x >= t.filled)
        return false;
    const uint32_t e = t.entries[x];
    br.Skip(e >> 12);
    symbol = e & 0xFFF;
    return true;
}

// Code widths travel as differences coded with a small width tree of their own.
bool ReadTable(BitReader& br, int maxw, int maxsym, HuffTable& t)
{
    int n = static_cast<int>(br.Read(9));
    if (n > maxsym)
        n = maxsym;
    unsigned lo = br.Read(4);
    unsigned hi = br.Read(4);
    uint8_t ww[16];
    for (unsigned i = 0; i <= hi; ++i)
        ww[i] = static_cast<uint8_t>(br.Read(3));
    HuffTable tree;
    if (!BuildTable(ww, static_cast<int>(hi) + 1, 7, tree))
        return false;
    uint8_t w[kMaxSymbols];
    int len = 0;
    while (len <= n) {
        unsigned c;
        if (!DecodeSymbol(br, tree, c))
            return false;
        if (c < hi) {
            w[len++] = static_cast<uint8_t>(c);
        } else {
            int run = static_cast<int>(br.Read(4)) + 4;
            run = std::min(run, n + 1 - len);
            std::fill(w + len, w + len + run, 0);
            len += run;
        }
        if (br.Overrun())
            return false;
    }
    if (hi > 0)
        for (int i = 1; i <= n; ++i) {  // both terms are below hi
            const unsigned sum = w[i] + w[i - 1];
            w[i] = static_cast<uint8_t>(sum >= hi ? sum - hi : sum);
        }
    for (int i = 0; i <= n; ++i)
        if (w[i] != 0)
            w[i] = static_cast<uint8_t>(w[i] + lo);
    return BuildTable(w, n + 1, maxw, t) && !br.Overrun();
}

int BitLength(uint32_t v)
{
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

int Signed8(int x) { return ((x & 0xFF) ^ 0x80) - 0x80; }

struct SwitchRequest {
    unsigned mode = 0;
    unsigned deltaDist = 0;
    unsigned deltaLen = 0;
    unsigned exeMode = 0;
};

void ReadSwitch(BitReader& br, SwitchRequest& sw)
{
    sw.mode = br.Read(8);
    if (sw.mode == 1) {
        sw.deltaDist = br.Read(8);
        sw.deltaLen = br.Read(17);
    } else if (sw.mode == 2) {
        sw.exeMode = br.Read(8);
    }
}

// SOUND: an adaptive linear predictor per channel with Huffman-coded residuals.
struct SoundChannel {
    int last = 0;
    int coef[4] = {0, 0, 0, 0};
    int dcnt[4] = {0, 0, 0, 0};
    int64_t dif[9] = {};
    int64_t pdc[2] = {};
    int64_t lpdc[2] = {};
    int64_t count = 0;
    int64_t amc = 0;
    int amuse = 0;
    int state = 0;
    unsigned code = 0;
};

constexpr uint8_t kSoundMap[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 0, 2}, {1, 0, 2, 0}};
constexpr int kSoundChannels[4] = {1, 2, 3, 3};

struct QTable {
    uint8_t q[256];
    constexpr QTable() : q()
    {
        for (int x = 0; x < 256; ++x) {
            int v = std::min(x, 256 - x), n = 0;
            while (v) {
                ++n;
                v >>= 1;
            }
            q[x] = static_cast<uint8_t>(n);
        }
    }
};
constexpr QTable kQ;

struct SoundCoder {
    int mode = 0;  // 3..6
    int channels = 1;
    uint64_t index = 0;
    uint32_t count = 0;
    SoundChannel ch[3];
    HuffTable models[9];

    void Start(int m)
    {
        mode = m;
        channels = kSoundChannels[m - 3];
        index = 0;
        count = 0;
        for (auto& c : ch)
            c = SoundChannel {};
    }

    static int Predicted(const SoundChannel& c)
    {
        int sum =
            8 * c.last + c.coef[0] * c.dcnt[0] + c.coef[1] * c.dcnt[1] + c.coef[2] * c.dcnt[2] + c.coef[3] * c.dcnt[3];
        return (sum >> 3) & 0xFF;
    }

    static void Adjust(SoundChannel& c, int x)
    {
        c.count += 1;
        int e = Signed8(Predicted(c) - x) * 8;
        c.dif[0] += std::abs(e - c.dcnt[0]);
        c.dif[1] += std::abs(e + c.dcnt[0]);
        c.dif[2] += std::abs(e - c.dcnt[1]);
        c.dif[3] += std::abs(e + c.dcnt[1]);
        c.dif[4] += std::abs(e - c.dcnt[2]);
        c.dif[5] += std::abs(e + c.dcnt[2]);
        c.dif[6] += std::abs(e - c.dcnt[3]);
        c.dif[7] += std::abs(e + c.dcnt[3]);
        c.dif[8] += std::abs(e);
        c.pdc[0] += kQ.q[(e / 8) & 0xFF];
        c.pdc[1] += kQ.q[(c.last - x) & 0xFF];
        int d = Signed8(x - c.last);
        c.last = x;
        if (c.count % 32 == 0) {
            int best = 0;
            int64_t m = 0xFFFF;
            for (int j = 8; j >= 0; --j)
                if (c.dif[j] <= m) {
                    m = c.dif[j];
                    best = j;
                }
            std::fill(std::begin(c.dif), std::end(c.dif), 0);
            if (best != 8) {
                int t = best >> 1;
                if ((best & 1) == 0) {
                    if (c.coef[t] >= -16)
                        c.coef[t] -= 1;
                } else {
                    if (c.coef[t] <= 16)
                        c.coef[t] += 1;
                }
            }
            if (c.count % 256 == 0)
                for (int k = 0; k < 2; ++k) {
                    c.pdc[k] -= c.lpdc[k];
                    c.lpdc[k] = c.pdc[k];
                }
        }
        c.dcnt[3] = c.dcnt[2];
        c.dcnt[2] = c.dcnt[1];
        c.dcnt[1] = d - c.dcnt[0];
        c.dcnt[0] = d;
    }
};

// PIC: context modelling over rows of interleaved byte planes with Rice-coded residuals.
struct PicContext {
    int used = 0;
    int pred = 0;
    int avg = 4;
    int err[4] = {0, 0, 0, 0};
};

constexpr uint32_t kPicMaxWidth = 1u << 24;
constexpr uint32_t kPicMaxPlanes = 16;

int PicQ(int x)
{
    if (x <= -21)
        return -4;
    if (x <= -7)
        return -3;
    if (x <= -3)
        return -2;
    if (x <= -1)
        return -1;
    if (x == 0)
        return 0;
    if (x <= 2)
        return 1;
    if (x <= 6)
        return 2;
    if (x <= 20)
        return 3;
    return 4;
}

int PicDbw(int v)
{
    int s = Signed8(v);
    return BitLength(static_cast<uint32_t>(s >= 0 ? 2 * s : -2 * s - 1));
}

struct PicCoder {
    uint32_t width = 0;
    uint32_t planes = 0;
    std::vector<uint8_t> prevBuf, curBuf;  // indexed from -planes
    std::vector<PicContext> ctx[2];
    std::vector<uint8_t> pending;
    size_t pendingPos = 0;

    uint8_t* Prev() { return prevBuf.data() + planes; }
    uint8_t* Cur() { return curBuf.data() + planes; }
};

}  // namespace

struct AceDecoder::Window {
    static constexpr size_t kSize = size_t {1} << 22;
    static constexpr size_t kMask = kSize - 1;
    // Left uninitialised: the distance check never lets a copy read a byte not yet written.
    std::unique_ptr<uint8_t[]> storage {new uint8_t[kSize]};
    uint8_t* const buf = storage.get();
    uint64_t pos = 0;    // bytes that ever entered
    uint64_t floor = 0;  // bytes before this one belong to an unrelated member

    uint64_t Available() const { return std::min<uint64_t>(pos - floor, kSize); }

    void Put(const uint8_t* data, size_t n)
    {
        while (n > 0) {
            size_t at = static_cast<size_t>(pos & kMask);
            size_t piece = std::min(n, kSize - at);
            std::memcpy(buf + at, data, piece);
            data += piece;
            n -= piece;
            pos += piece;
        }
    }
    // Copies window bytes [from, to) out; the range is never longer than the window.
    void CopyOut(uint64_t from, uint64_t to, uint8_t* out) const
    {
        while (from < to) {
            size_t at = static_cast<size_t>(from & kMask);
            size_t piece = static_cast<size_t>(std::min<uint64_t>(to - from, kSize - at));
            std::memcpy(out, buf + at, piece);
            out += piece;
            from += piece;
        }
    }
};

namespace {

// Eight bytes at once; read whole before they are written, as the two may overlap when a match
// reaches back to the far end of the window.
inline void CopyPiece(uint8_t* to, const uint8_t* from)
{
    uint64_t piece;
    std::memcpy(&piece, from, 8);
    std::memcpy(to, &piece, 8);
}

// Output bytes are handed to the sink in chunks this size; far below the window size, so a
// chunk is always emitted before the window wraps over it.
constexpr uint64_t kChunk = 256 * 1024;

class MemberDecoder {
public:
    MemberDecoder(AceDecoder::Window& window, const Member& member, std::span<const uint8_t> packed, const Sink& sink)
        : win_(window), member_(member), br_(packed.data(), packed.size()), sink_(sink)
    {
    }

    Status Decode();
    uint32_t Crc() const { return crc_; }
    uint64_t Emitted() const { return emitted_; }

private:
    Status Emit(const uint8_t* data, size_t n)
    {
        crc_ = Crc32(data, n, crc_);
        emitted_ += n;
        return sink_(data, n) ? Status::Ok : Status::WriteError;
    }
    Status EmitWindow(uint64_t from, uint64_t to)
    {
        while (from < to) {
            size_t at = static_cast<size_t>(from & AceDecoder::Window::kMask);
            size_t piece = static_cast<size_t>(std::min<uint64_t>(to - from, AceDecoder::Window::kSize - at));
            if (Status s = Emit(win_.buf + at, piece); s != Status::Ok)
                return s;
            from += piece;
        }
        return Status::Ok;
    }
    uint64_t Remaining() const { return member_.origSize - emitted_; }

    Status Lz77(uint64_t softEnd, uint64_t hardEnd, bool& switched);
    Status ReadLzBlock();
    Status ApplySwitch();
    Status RunLzMode();
    Status RunDelta();
    Status RunExe();
    Status RunSound();
    Status RunPic();
    Status StartPic();
    Status DecodePicRow();
    bool Rice(unsigned k, uint32_t maxValue, uint32_t& value);

    AceDecoder::Window& win_;
    const Member& member_;
    BitReader br_;
    const Sink& sink_;
    uint32_t crc_ = 0xFFFFFFFFu;
    uint64_t emitted_ = 0;

    // LZ77 coder: one for the whole member, its block survives other modes.
    HuffTable main_, len_;
    uint32_t blockLeft_ = 0;
    uint32_t hist_[4] = {0, 0, 0, 0};

    int mode_ = 0;
    SwitchRequest switch_;
    bool deltaBlockDue_ = false;
    unsigned deltaDist_ = 0, deltaLen_ = 0;
    uint8_t deltaAcc_ = 0;
    unsigned exeMode_ = 0;
    std::vector<uint8_t> exeHeld_;
    std::vector<uint8_t> scratch_;
    std::unique_ptr<SoundCoder> sound_;
    std::unique_ptr<PicCoder> pic_;
};

Status MemberDecoder::ReadLzBlock()
{
    if (!ReadTable(br_, 11, 284, main_) || !ReadTable(br_, 11, 255, len_))
        return br_.Overrun() ? Status::Truncated : Status::CorruptData;
    blockLeft_ = br_.Read(15);
    if (br_.Overrun())
        return Status::Truncated;
    if (blockLeft_ == 0)
        return Status::CorruptData;
    return Status::Ok;
}

// Decodes LZ77 symbols into the window until it holds softEnd bytes or a mode switch comes.
// No literal or match may reach past hardEnd.
Status MemberDecoder::Lz77(uint64_t softEnd, uint64_t hardEnd, bool& switched)
{
    switched = false;
    const bool blocked = member_.method == 2;
    uint8_t* const buf = win_.buf;
    constexpr uint64_t mask = AceDecoder::Window::kMask;
    uint64_t pos = win_.pos;
    const uint64_t available0 = win_.Available();  // before this run
    const uint64_t start = pos;
    Status result = Status::Ok;
    // The hot state lives in locals: writes into the window could alias the members.
    BitReader br = br_;
    uint32_t blockLeft = blockLeft_;
    uint32_t hist[4] = {hist_[0], hist_[1], hist_[2], hist_[3]};
    while (pos < softEnd) {
        if (blockLeft == 0) {
            br_ = br;
            result = ReadLzBlock();
            br = br_;
            blockLeft = blockLeft_;
            if (result != Status::Ok)
                break;
        }
        unsigned s;
        if (!DecodeSymbol(br, main_, s)) {
            result = Status::CorruptData;
            break;
        }
        --blockLeft;
        if (s < 256) {
            if (pos >= hardEnd) {
                result = Status::CorruptData;
                break;
            }
            buf[pos & mask] = static_cast<uint8_t>(s);
            ++pos;
            continue;
        }
        uint32_t d;
        unsigned length;
        if (s <= 259) {
            unsigned k = s - 256;
            unsigned l;
            if (!DecodeSymbol(br, len_, l)) {
                result = Status::CorruptData;
                break;
            }
            length = l + (k <= 1 ? 2 : 3);
            d = hist[k];
            for (unsigned i = k; i > 0; --i)
                hist[i] = hist[i - 1];
            hist[0] = d;
        } else if (s <= 282) {
            unsigned nb = s - 260;
            d = nb <= 1 ? nb : (1u << (nb - 1)) + br.Read(nb - 1);
            unsigned l;
            if (!DecodeSymbol(br, len_, l)) {
                result = Status::CorruptData;
                break;
            }
            length = l + (d <= 255 ? 2 : (d <= 8191 ? 3 : 4));
            hist[3] = hist[2];
            hist[2] = hist[1];
            hist[1] = hist[0];
            hist[0] = d;
        } else if (s == 283 && blocked) {
            ReadSwitch(br, switch_);
            switched = true;
            break;
        } else {
            result = Status::CorruptData;
            break;
        }
        const uint64_t dist = static_cast<uint64_t>(d) + 1;
        if (pos + length > hardEnd ||
            dist > std::min<uint64_t>(available0 + (pos - start), AceDecoder::Window::kSize)) {
            result = Status::CorruptData;
            break;
        }
        size_t to = static_cast<size_t>(pos & mask);
        size_t from = static_cast<size_t>((pos - dist) & mask);
        if (to + length <= AceDecoder::Window::kSize && from + length <= AceDecoder::Window::kSize) {
            uint8_t* dst = buf + to;
            const uint8_t* src = buf + from;
            unsigned i = 0;
            if (dist >= 8) {
                // Each piece reads only bytes that are final already, even when the two overlap;
                // nothing past the match is written, as the window may still be referred to there.
                for (; i + 8 <= length; i += 8)
                    CopyPiece(dst + i, src + i);
            } else if (length >= 16) {
                // A short distance repeats a pattern: once a whole number of its periods of at least
                // 8 bytes is out, the rest is copied in pieces from that far back.
                const unsigned period =
                    static_cast<unsigned>(dist) * ((8 + static_cast<unsigned>(dist) - 1) / static_cast<unsigned>(dist));
                for (; i < period; ++i)
                    dst[i] = src[i];
                for (; i + 8 <= length; i += 8)
                    CopyPiece(dst + i, dst + i - period);
            }
            for (; i < length; ++i)  // what is left, byte by byte
                dst[i] = src[i];
        } else {
            for (unsigned i = 0; i < length; ++i)
                buf[(to + i) & mask] = buf[(from + i) & mask];
        }
        pos += length;
    }
    win_.pos = pos;
    br_ = br;
    blockLeft_ = blockLeft;
    std::copy(hist, hist + 4, hist_);
    if (result == Status::Ok && br_.Overrun())
        result = Status::Truncated;
    return result;
}

Status MemberDecoder::ApplySwitch()
{
    const SwitchRequest& sw = switch_;
    if (sw.mode >= 8)
        return Status::CorruptData;
    // Bytes held back by EXE only make sense to the LZ77 family that follows.
    if (!exeHeld_.empty() && sw.mode != 0 && sw.mode != 2)
        return Status::CorruptData;
    switch (sw.mode) {
    case 1:
        if (sw.deltaDist == 0 || sw.deltaLen == 0 || sw.deltaLen > 65536 || sw.deltaLen % sw.deltaDist != 0 ||
            sw.deltaLen > Remaining())
            return Status::CorruptData;
        deltaDist_ = sw.deltaDist;
        deltaLen_ = sw.deltaLen;
        deltaBlockDue_ = true;
        break;
    case 2: exeMode_ = sw.exeMode; break;
    case 3:
    case 4:
    case 5:
    case 6:
        if (mode_ != static_cast<int>(sw.mode)) {
            if (!sound_)
                sound_ = std::make_unique<SoundCoder>();
            sound_->Start(static_cast<int>(sw.mode));
        }
        break;
    case 7:
        if (mode_ != 7) {
            mode_ = 7;
            return StartPic();
        }
        break;
    default: break;
    }
    mode_ = static_cast<int>(sw.mode);
    return Status::Ok;
}

Status MemberDecoder::RunLzMode()
{
    if (!exeHeld_.empty()) {  // left over from EXE: they go out unchanged
        std::vector<uint8_t> held;
        held.swap(exeHeld_);
        return Emit(held.data(), held.size());
    }
    const uint64_t start = win_.pos;
    const uint64_t hard = start + Remaining();
    bool switched;
    Status s = Lz77(std::min(hard, start + kChunk), hard, switched);
    if (Status e = EmitWindow(start, win_.pos); s == Status::Ok)
        s = e;
    if (s == Status::Ok && switched)
        s = ApplySwitch();
    return s;
}

Status MemberDecoder::RunDelta()
{
    bool switched;
    const uint64_t start = win_.pos;
    if (!deltaBlockDue_) {
        // A finished DELTA block is followed by a switch, nothing else.
        Status s = Lz77(start + 1, start, switched);
        if (s != Status::Ok)
            return s;
        return switched ? ApplySwitch() : Status::CorruptData;
    }
    Status s = Lz77(start + deltaLen_, start + deltaLen_, switched);
    if (s != Status::Ok)
        return s;
    if (switched)
        return Status::CorruptData;
    std::vector<uint8_t> block(deltaLen_);
    win_.CopyOut(start, win_.pos, block.data());
    for (auto& b : block) {
        deltaAcc_ = static_cast<uint8_t>(deltaAcc_ + b);
        b = deltaAcc_;
    }
    scratch_.resize(deltaLen_);
    const unsigned planeLen = deltaLen_ / deltaDist_;
    size_t o = 0;
    for (unsigned k = 0; k < planeLen; ++k)
        for (unsigned j = 0; j < deltaDist_; ++j)
            scratch_[o++] = block[j * planeLen + k];
    deltaBlockDue_ = false;
    return Emit(scratch_.data(), scratch_.size());
}

Status MemberDecoder::RunExe()
{
    const uint64_t limit = Remaining() - exeHeld_.size();
    if (limit == 0) {  // the member ends here: held bytes go out unchanged
        std::vector<uint8_t> held;
        held.swap(exeHeld_);
        return Emit(held.data(), held.size());
    }
    const uint64_t start = win_.pos;
    bool switched;
    Status s = Lz77(start + std::min(limit, kChunk), start + limit, switched);
    if (s != Status::Ok)
        return s;
    const size_t produced = static_cast<size_t>(win_.pos - start);
    scratch_.assign(exeHeld_.begin(), exeHeld_.end());
    scratch_.resize(exeHeld_.size() + produced);
    win_.CopyOut(start, win_.pos, scratch_.data() + exeHeld_.size());
    exeHeld_.clear();
    uint8_t* b = scratch_.data();
    const size_t n = scratch_.size();
    const uint64_t base = emitted_;
    size_t i = 0;
    while (i + 4 < n) {
        if (b[i] == 0xE8 && exeMode_ != 0) {
            uint32_t v = static_cast<uint32_t>(b[i + 1]) | (static_cast<uint32_t>(b[i + 2]) << 8) |
                         (static_cast<uint32_t>(b[i + 3]) << 16) | (static_cast<uint32_t>(b[i + 4]) << 24);
            v -= static_cast<uint32_t>(base + i);
            b[i + 1] = static_cast<uint8_t>(v);
            b[i + 2] = static_cast<uint8_t>(v >> 8);
            b[i + 3] = static_cast<uint8_t>(v >> 16);
            b[i + 4] = static_cast<uint8_t>(v >> 24);
            i += 5;
        } else if (b[i] == 0xE8 || b[i] == 0xE9) {
            uint16_t v = static_cast<uint16_t>(b[i + 1] | (b[i + 2] << 8));
            v = static_cast<uint16_t>(v - static_cast<uint16_t>(base + i));
            b[i + 1] = static_cast<uint8_t>(v);
            b[i + 2] = static_cast<uint8_t>(v >> 8);
            i += 3;
        } else {
            ++i;
        }
    }
    size_t keep = n;
    for (size_t q = i; q < n; ++q)
        if (b[q] == 0xE8 || b[q] == 0xE9) {
            keep = q;
            break;
        }
    exeHeld_.assign(b + keep, b + n);
    if (Status e = Emit(b, keep); e != Status::Ok)
        return e;
    return switched ? ApplySwitch() : Status::Ok;
}

Status MemberDecoder::RunSound()
{
    SoundCoder& sc = *sound_;
    const int mapRow = sc.mode - 3;
    const uint64_t start = win_.pos;
    const uint64_t want = std::min(Remaining(), kChunk);
    uint8_t* const buf = win_.buf;
    constexpr uint64_t mask = AceDecoder::Window::kMask;
    bool switched = false;
    Status result = Status::Ok;
    while (win_.pos - start < want) {
        const int c = kSoundMap[mapRow][sc.index & 3];
        SoundChannel& st = sc.ch[c];
        unsigned v = 0;
        if (st.state != 2) {
            if (sc.count == 0) {
                for (int m = 0; m < 3 * sc.channels; ++m)
                    if (!ReadTable(br_, 10, 289, sc.models[m])) {
                        result = br_.Overrun() ? Status::Truncated : Status::CorruptData;
                        break;
                    }
                if (result != Status::Ok)
                    break;
                sc.count = br_.Read(15);
                if (sc.count == 0) {
                    result = Status::CorruptData;
                    break;
                }
            }
            const int model = 3 * c + (st.state == 0 ? st.amuse : 2);
            unsigned code;
            if (!DecodeSymbol(br_, sc.models[model], code)) {
                result = Status::CorruptData;
                break;
            }
            --sc.count;
            if (code == 288) {
                ReadSwitch(br_, switch_);
                switched = true;
                break;
            }
            if (code > 288) {
                result = Status::CorruptData;
                break;
            }
            st.code = code;
            if (st.state == 0 && code < 32) {
                st.state = 2;
            } else if (st.state == 1) {
                v = code;
                st.state = 0;
            } else {
                v = code - 32;
                st.amc = ((st.amc * 7) >> 3) + v;
                st.amuse = st.amc > 40 ? 1 : 0;
            }
        }
        if (st.state == 2) {
            if (st.code == 0)
                st.state = 1;
            else
                st.code -= 1;
            v = 0;
        }
        const int value = (v & 1) ? 255 - static_cast<int>(v >> 1) : static_cast<int>(v >> 1);
        const int p = st.pdc[0] > st.pdc[1] ? st.last : SoundCoder::Predicted(st);
        const int out = (value + p) & 0xFF;
        buf[win_.pos & mask] = static_cast<uint8_t>(out);
        ++win_.pos;
        ++sc.index;
        SoundCoder::Adjust(st, Signed8(out));
    }
    if (result == Status::Ok && br_.Overrun())
        result = Status::Truncated;
    if (Status e = EmitWindow(start, win_.pos); result == Status::Ok)
        result = e;
    if (result == Status::Ok && switched)
        result = ApplySwitch();
    return result;
}

bool MemberDecoder::Rice(unsigned k, uint32_t maxValue, uint32_t& value)
{
    uint32_t v = br_.Read(k);
    while (br_.Read(1) == 1) {
        v += 1u << k;
        if (v > maxValue || br_.Overrun())
            return false;
    }
    value = v;
    return v <= maxValue;
}

Status MemberDecoder::StartPic()
{
    if (!pic_)
        pic_ = std::make_unique<PicCoder>();
    PicCoder& pc = *pic_;
    uint32_t width, planes;
    if (!Rice(12, kPicMaxWidth, width) || !Rice(2, kPicMaxPlanes, planes) || width == 0 || planes == 0)
        return br_.Overrun() ? Status::Truncated : Status::CorruptData;
    pc.width = width;
    pc.planes = planes;
    pc.prevBuf.assign(width + 2 * planes, 0);
    pc.curBuf.assign(width + 2 * planes, 0);
    for (auto& set : pc.ctx)
        set.assign(365, PicContext {});
    pc.pending.clear();
    pc.pendingPos = 0;
    return br_.Overrun() ? Status::Truncated : Status::Ok;
}

Status MemberDecoder::DecodePicRow()
{
    PicCoder& pc = *pic_;
    const int width = static_cast<int>(pc.width);
    const int planes = static_cast<int>(pc.planes);
    uint8_t* prev = pc.Prev();
    uint8_t* cur = pc.Cur();
    for (int p = 0; p < planes; ++p) {
        unsigned pm = 0;
        std::vector<PicContext>& C = pc.ctx[p == 0 ? 0 : 1];
        if (p > 0) {
            pm = br_.Read(2);
            if (pm == 3)
                return Status::CorruptData;
        }
        auto T = [pm](int x, int r) {
            if (pm == 0)
                return x;
            if (pm == 1)
                return (x - r + 128) & 0xFF;
            return (x - ((r * 11) >> 4) + 128) & 0xFF;
        };
        int D = T(prev[p], prev[p - 1]);
        int A, B, Cc, X;
        A = B = Cc = X = (pm == 0 ? 0 : 128);
        for (int col = p; col < width; col += planes) {
            Cc = A;
            A = D;
            B = X;
            D = T(prev[col + planes], prev[col + planes - 1]);
            int s = std::abs(81 * PicQ(D - A) + 9 * PicQ(A - Cc) + PicQ(Cc - B));
            PicContext& c = C[static_cast<size_t>(s)];
            c.used += 1;
            unsigned k = static_cast<unsigned>(BitLength(static_cast<uint32_t>(c.avg / c.used)));
            if (k > 24)
                return Status::CorruptData;
            uint32_t m;
            if (!Rice(k, 255, m))
                return br_.Overrun() ? Status::Truncated : Status::CorruptData;
            int e = (m & 1) ? -static_cast<int>(m >> 1) - 1 : static_cast<int>(m >> 1);
            const int P[4] = {A, B, (A + B) >> 1, (A + B - Cc) & 0xFF};
            X = (P[c.pred] + e) & 0xFF;
            int best = 0;
            bool halve = false;
            for (int j = 0; j < 4; ++j) {
                c.err[j] += PicDbw((X - P[j]) & 0xFF);
                if (j > 0 && c.err[j] < c.err[best])
                    best = j;
                if (c.err[j] >= 128)
                    halve = true;
            }
            if (halve)
                for (int& err : c.err)
                    err >>= 1;
            c.pred = best;
            c.avg += std::abs(e);
            if (c.used == 128) {
                c.used = 64;
                c.avg >>= 1;
            }
            if (pm == 0)
                cur[col] = static_cast<uint8_t>(X);
            else if (pm == 1)
                cur[col] = static_cast<uint8_t>((X + cur[col - 1] - 128) & 0xFF);
            else
                cur[col] = static_cast<uint8_t>((X + ((cur[col - 1] * 11) >> 4) - 128) & 0xFF);
        }
        if (br_.Overrun())
            return Status::Truncated;
    }
    pc.pending.assign(cur, cur + width);
    pc.pendingPos = 0;
    std::swap(pc.prevBuf, pc.curBuf);
    return Status::Ok;
}

Status MemberDecoder::RunPic()
{
    PicCoder& pc = *pic_;
    if (pc.pendingPos >= pc.pending.size()) {
        if (br_.Read(1) == 0) {
            ReadSwitch(br_, switch_);
            if (br_.Overrun())
                return Status::Truncated;
            return ApplySwitch();
        }
        if (Status s = DecodePicRow(); s != Status::Ok)
            return s;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(pc.pending.size() - pc.pendingPos, Remaining()));
    const uint8_t* bytes = pc.pending.data() + pc.pendingPos;
    pc.pendingPos += n;
    win_.Put(bytes, n);
    return Emit(bytes, n);
}

Status MemberDecoder::Decode()
{
    while (emitted_ < member_.origSize) {
        if (br_.Overrun())
            return Status::Truncated;
        Status s;
        switch (mode_) {
        case 0: s = RunLzMode(); break;
        case 1: s = RunDelta(); break;
        case 2: s = RunExe(); break;
        case 7: s = RunPic(); break;
        default: s = RunSound(); break;
        }
        if (s != Status::Ok)
            return s;
    }
    return br_.Overrun() ? Status::Truncated : Status::Ok;
}

}  // namespace

AceDecoder::AceDecoder() : window_(std::make_unique<Window>()) {}
AceDecoder::~AceDecoder() = default;

void AceDecoder::Reset() { window_->floor = window_->pos; }

Status AceDecoder::DecodeMember(const Member& member, std::span<const uint8_t> packed, const Sink& sink)
{
    if (member.IsEncrypted())
        return Status::Encrypted;
    if (member.IsSplit())
        return Status::MultiVolume;
    if (member.method > 2 || member.dictBits > 22)
        return Status::Unsupported;
    uint32_t crc = 0xFFFFFFFFu;
    if (member.origSize == 0) {
        // nothing to decode; the bit reader is not touched
    } else if (member.method == 0) {
        if (packed.size() < member.origSize)
            return Status::Truncated;
        size_t left = static_cast<size_t>(member.origSize);
        const uint8_t* p = packed.data();
        while (left > 0) {
            size_t n = std::min<size_t>(left, kChunk);
            window_->Put(p, n);
            crc = Crc32(p, n, crc);
            if (!sink(p, n))
                return Status::WriteError;
            p += n;
            left -= n;
        }
    } else {
        MemberDecoder dec(*window_, member, packed, sink);
        if (Status s = dec.Decode(); s != Status::Ok)
            return s;
        crc = dec.Crc();
    }
    return crc == member.crc ? Status::Ok : Status::CrcError;
}

std::optional<std::string> DecodeComment(std::span<const uint8_t> packed)
{
    if (packed.empty())
        return std::string();
    BitReader br(packed.data(), packed.size());
    const uint32_t length = br.Read(15);
    HuffTable table;
    if (!ReadTable(br, 11, 284, table))
        return std::nullopt;
    std::string out;
    out.reserve(length + 32);
    uint32_t hash[511] = {};
    uint32_t src = 0;
    while (out.size() < length) {
        if (out.size() >= 2) {
            unsigned h = static_cast<uint8_t>(out[out.size() - 1]) + static_cast<uint8_t>(out[out.size() - 2]);
            src = hash[h];
            hash[h] = static_cast<uint32_t>(out.size());
        }
        unsigned c;
        if (!DecodeSymbol(br, table, c) || br.Overrun())
            return std::nullopt;
        if (c < 256) {
            out += static_cast<char>(c);
        } else {
            unsigned n = c - 254;
            if (src >= out.size())
                return std::nullopt;
            for (unsigned i = 0; i < n; ++i)
                out += out[src + i];
        }
    }
    out.resize(length);
    return out;
}

}  // namespace ace
