#include "reassembly/JpegScanDecoder.h"

#include <algorithm>
#include <cstdlib>

namespace pelorin {
namespace {

using Step = JpegScanDecoder::Step;

// Fills the bit buffer to more than 56 bits. At a marker or the end of the
// data zeros stand in, counted, so that using one is a fault.
inline void fill(JpegScanState& s, PieceFeed& feed) {
    while (s.bitCount <= 56) {
        int byte = 0;
        if (!s.markerReached) {
            byte = feed.byteAt(s.position);
            if (byte == 0xFF) {
                const int next = feed.byteAt(s.position + 1);
                if (next == 0) {
                    s.position += 2;
                } else {
                    s.markerReached = true;
                    byte = 0;
                }
            } else if (byte < 0) {
                s.markerReached = true;
                byte = 0;
            } else {
                s.position += 1;
            }
        }
        if (s.markerReached) s.paddingBits += 8;
        s.bits |= uint64_t(byte) << (56 - s.bitCount);
        s.bitCount += 8;
    }
}

// Uses n bits; false when that reaches into the stand-in zeros.
inline bool consume(JpegScanState& s, int n) {
    s.bits <<= n;
    s.bitCount -= n;
    return s.bitCount >= s.paddingBits;
}

inline bool getBits(JpegScanState& s, PieceFeed& feed, int n, int32_t& value) {
    if (n == 0) {
        value = 0;
        return true;
    }
    if (s.bitCount < n) fill(s, feed);
    value = static_cast<int32_t>(s.bits >> (64 - n));
    return consume(s, n);
}

// The value of an n-bit magnitude category, as JPEG extends it.
inline int32_t extend(int32_t value, int n) { return value < (1 << (n - 1)) ? value - (1 << n) + 1 : value; }

inline bool decodeSymbol(JpegScanState& s, PieceFeed& feed, const JpegHuffmanTable& table, int& symbol) {
    if (s.bitCount < 16) fill(s, feed);
    const uint16_t fast = table.fast[s.bits >> (64 - JpegHuffmanTable::kFastBits)];
    if (fast != 0) {
        symbol = fast & 0xFF;
        return consume(s, fast >> 8);
    }
    for (int length = JpegHuffmanTable::kFastBits + 1; length <= 16; ++length) {
        const auto code = static_cast<int32_t>(s.bits >> (64 - length));
        if (code <= table.maxCode[length]) {
            symbol = table.values[static_cast<std::size_t>(table.valueOffset[length] + code)];
            return consume(s, length);
        }
    }
    return false;  // no code of the table starts so
}

uint32_t be16(PieceFeed& feed, uint64_t at) {
    const int high = feed.byteAt(at), low = feed.byteAt(at + 1);
    if (high < 0 || low < 0) return UINT32_MAX;
    return uint32_t(high) << 8 | uint32_t(low);
}

}  // namespace

bool JpegHuffmanTable::build(const uint8_t* counts, const uint8_t* symbols, int symbolCount) {
    fast.fill(0);
    fastAc.fill(0);
    maxCode.fill(-1);
    valueOffset.fill(0);
    std::copy(symbols, symbols + symbolCount, values.begin());
    int32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int count = counts[length - 1];
        valueOffset[length] = index - code;
        if (count > 0) {
            for (int i = 0; i < count; ++i, ++index, ++code) {
                if (length <= kFastBits) {
                    const int shift = kFastBits - length;
                    const int run = symbols[index] >> 4, size = symbols[index] & 15;
                    const int used = length + size;
                    const int what = size != 0 ? kCoefficient : run == 0 ? kEndOfBlock : run == 15 ? kSixteenZeros : 0;
                    for (int fill = 0; fill < (1 << shift); ++fill) {
                        const auto at = static_cast<std::size_t>((code << shift) | fill);
                        fast[at] = static_cast<uint16_t>(length << 8 | symbols[index]);
                        if (what != 0 && used <= kFastBits) fastAc[at] = static_cast<uint16_t>(used | run << 4 | what << 8);
                    }
                }
            }
            maxCode[length] = code - 1;
            if (code > (1 << length)) return false;
        }
        code <<= 1;
    }
    maxCode[17] = INT32_MAX;
    defined = true;
    return true;
}

JpegScanState JpegScanDecoder::start() {
    tables_.clear();
    tables_.emplace_back();
    journal_.clear();
    JpegScanState state;
    state.tables = &tables_.back();
    return state;
}

JpegTables& JpegScanDecoder::changeTables(JpegScanState& state) {
    tables_.push_back(*state.tables);
    state.tables = &tables_.back();
    return tables_.back();
}

void JpegScanDecoder::undoTo(Mark mark) {
    while (journal_.size() > mark.journal) {
        nonZero_[journal_.back().first] = journal_.back().second;
        journal_.pop_back();
    }
    while (tables_.size() > mark.tables) tables_.pop_back();
}

void JpegScanDecoder::setNonZero(uint32_t block, uint64_t mask) {
    journal_.emplace_back(block, nonZero_[block]);
    nonZero_[block] = mask;
}

Step JpegScanDecoder::run(JpegScanState& state, PieceFeed& feed, uint64_t stopAfter) {
    while (true) {
        const Step result = step(state, feed);
        if (result != Step::Continue || state.position > stopAfter) return result;
    }
}

Step JpegScanDecoder::step(JpegScanState& state, PieceFeed& feed) {
    if (state.phase == JpegScanState::Phase::Finished) return Step::Finished;
    return state.phase == JpegScanState::Phase::Markers ? markerStep(state, feed) : entropyStep(state, feed);
}

Step JpegScanDecoder::markerStep(JpegScanState& s, PieceFeed& feed) {
    uint64_t at = s.position;
    if (at == 0) {
        if (feed.byteAt(0) != 0xFF || feed.byteAt(1) != 0xD8) return Step::Failed;
        s.position = 2;
        return Step::Continue;
    }
    if (feed.byteAt(at) != 0xFF) return Step::Failed;
    int marker = feed.byteAt(at + 1);
    // Fill bytes before a marker.
    for (int fills = 0; marker == 0xFF && fills < 16; ++fills) marker = feed.byteAt(++at + 1);
    if (marker < 0 || marker == 0xFF || marker == 0x00 || (marker >= 0xD0 && marker <= 0xD8)) return Step::Failed;
    at += 2;
    if (marker == 0xD9) {
        if (!s.scanSeen) return Step::Failed;
        s.position = at;
        s.phase = JpegScanState::Phase::Finished;
        return Step::Finished;
    }
    const uint32_t length = be16(feed, at);
    if (length == UINT32_MAX || length < 2) return Step::Failed;
    const uint64_t end = at + length;
    uint64_t p = at + 2;
    auto byte = [&](uint64_t where) { return feed.byteAt(where); };

    switch (marker) {
    case 0xC0: case 0xC1: case 0xC2: {
        if (s.tables->frameSeen || length < 8) return Step::Failed;
        if (byte(p) != 8) return Step::Unsupported;
        JpegTables& t = changeTables(s);
        t.frameSeen = true;
        t.progressive = marker == 0xC2;
        t.height = be16(feed, p + 1);
        t.width = be16(feed, p + 3);
        t.componentCount = byte(p + 5);
        if (t.width == 0 || t.width == UINT32_MAX || t.height == 0 || t.height == UINT32_MAX) return Step::Unsupported;
        if (t.componentCount < 1 || t.componentCount > 4 || length != 8u + 3u * unsigned(t.componentCount))
            return Step::Failed;
        int hMax = 1, vMax = 1;
        for (int i = 0; i < t.componentCount; ++i) {
            JpegComponent& c = t.components[static_cast<std::size_t>(i)];
            const int sampling = byte(p + 7 + 3 * uint64_t(i));
            c.id = static_cast<uint8_t>(byte(p + 6 + 3 * uint64_t(i)));
            c.h = static_cast<uint8_t>(sampling >> 4);
            c.v = static_cast<uint8_t>(sampling & 15);
            c.quantTable = static_cast<uint8_t>(byte(p + 8 + 3 * uint64_t(i)) & 3);
            if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) return Step::Failed;
            hMax = std::max<int>(hMax, c.h);
            vMax = std::max<int>(vMax, c.v);
        }
        t.mcusWide = (t.width + 8 * uint32_t(hMax) - 1) / (8 * uint32_t(hMax));
        t.mcusHigh = (t.height + 8 * uint32_t(vMax) - 1) / (8 * uint32_t(vMax));
        uint64_t blocks = 0;
        for (int i = 0; i < t.componentCount; ++i) {
            JpegComponent& c = t.components[static_cast<std::size_t>(i)];
            c.blocksWide = t.mcusWide * c.h;
            c.blocksHigh = t.mcusHigh * c.v;
            const uint32_t width = (t.width * c.h + uint32_t(hMax) - 1) / uint32_t(hMax);
            const uint32_t height = (t.height * c.v + uint32_t(vMax) - 1) / uint32_t(vMax);
            c.usedWide = (width + 7) / 8;
            c.usedHigh = (height + 7) / 8;
            c.firstBlock = static_cast<uint32_t>(blocks);
            blocks += uint64_t(c.blocksWide) * c.blocksHigh;
        }
        if (blocks > mostBlocks_) return Step::Unsupported;
        t.totalBlocks = static_cast<uint32_t>(blocks);
        nonZero_.reset(t.progressive ? blocks : 0);
        dcValues_.reset(blocks);
        break;
    }
    case 0xC4: {
        JpegTables& t = changeTables(s);
        while (p < end) {
            const int classAndId = byte(p);
            if (classAndId < 0 || (classAndId >> 4) > 1 || (classAndId & 15) > 3 || p + 17 > end) return Step::Failed;
            uint8_t counts[16];
            int total = 0;
            for (int i = 0; i < 16; ++i) {
                const int count = byte(p + 1 + uint64_t(i));
                if (count < 0) return Step::Failed;
                counts[i] = static_cast<uint8_t>(count);
                total += count;
            }
            if (total > 256 || p + 17 + uint64_t(total) > end) return Step::Failed;
            uint8_t symbols[256];
            for (int i = 0; i < total; ++i) {
                const int symbol = byte(p + 17 + uint64_t(i));
                if (symbol < 0) return Step::Failed;
                symbols[i] = static_cast<uint8_t>(symbol);
            }
            auto& tables = (classAndId >> 4) == 0 ? t.dc : t.ac;
            if (!tables[static_cast<std::size_t>(classAndId & 15)].build(counts, symbols, total)) return Step::Failed;
            p += 17 + uint64_t(total);
        }
        if (p != end) return Step::Failed;
        break;
    }
    case 0xDB: {
        JpegTables& t = changeTables(s);
        while (p < end) {
            const int precisionAndId = byte(p);
            if (precisionAndId < 0 || (precisionAndId >> 4) > 1 || (precisionAndId & 15) > 3) return Step::Failed;
            const bool wide = (precisionAndId >> 4) == 1;
            const uint64_t size = 1 + (wide ? 128 : 64);
            if (p + size > end) return Step::Failed;
            const uint32_t first = wide ? be16(feed, p + 1) : uint32_t(byte(p + 1));
            if (first == UINT32_MAX) return Step::Failed;
            t.quantDc[static_cast<std::size_t>(precisionAndId & 15)] = static_cast<uint16_t>(std::max<uint32_t>(first, 1));
            p += size;
        }
        if (p != end) return Step::Failed;
        break;
    }
    case 0xDD: {
        if (length != 4) return Step::Failed;
        changeTables(s).restartInterval = be16(feed, p);
        break;
    }
    case 0xDA:
        if (!s.tables->frameSeen) return Step::Failed;
        if (!startScan(s, feed, end)) return Step::Failed;
        s.position = end;
        s.phase = JpegScanState::Phase::Entropy;
        return Step::Continue;
    case 0xC3: case 0xC5: case 0xC6: case 0xC7: case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
    case 0xDC:
        return Step::Unsupported;  // lossless, hierarchical, arithmetic coding, or line counts after the scan
    default:
        if (marker < 0xC0) return Step::Failed;
        break;  // application data, comments and the like: skipped by length
    }
    s.position = end;
    return Step::Continue;
}

bool JpegScanDecoder::startScan(JpegScanState& s, PieceFeed& feed, uint64_t end) {
    const JpegTables& t = *s.tables;
    uint64_t p = s.position + 4;
    const int count = feed.byteAt(p);
    if (count < 1 || count > 4 || end != p + 1 + 2 * uint64_t(count) + 3) return false;
    s.scanComponentCount = static_cast<uint8_t>(count);
    for (int i = 0; i < count; ++i) {
        const int id = feed.byteAt(p + 1 + 2 * uint64_t(i));
        const int selectors = feed.byteAt(p + 2 + 2 * uint64_t(i));
        if (id < 0 || selectors < 0) return false;
        int found = -1;
        for (int c = 0; c < t.componentCount; ++c)
            if (t.components[static_cast<std::size_t>(c)].id == id) found = c;
        if (found < 0) return false;
        s.scanComponents[static_cast<std::size_t>(i)] = static_cast<uint8_t>(found);
        s.dcTable[static_cast<std::size_t>(i)] = static_cast<uint8_t>((selectors >> 4) & 3);
        s.acTable[static_cast<std::size_t>(i)] = static_cast<uint8_t>(selectors & 3);
    }
    const uint64_t q = p + 1 + 2 * uint64_t(count);
    const int ss = feed.byteAt(q), se = feed.byteAt(q + 1), approximation = feed.byteAt(q + 2);
    if (ss < 0 || se < 0 || approximation < 0) return false;
    s.spectralStart = static_cast<uint8_t>(ss);
    s.spectralEnd = static_cast<uint8_t>(se);
    s.approximationHigh = static_cast<uint8_t>(approximation >> 4);
    s.approximationLow = static_cast<uint8_t>(approximation & 15);
    if (t.progressive) {
        if (ss > se || se > 63 || (ss == 0 && se != 0) || (ss > 0 && count != 1) || s.approximationLow > 13) return false;
    } else if (ss != 0 || se != 63 || approximation != 0) {
        return false;
    }
    // The tables the scan will use must be there.
    for (int i = 0; i < count; ++i) {
        const bool needsDc = ss == 0 && s.approximationHigh == 0;
        const bool needsAc = se > 0;
        if (needsDc && !t.dc[s.dcTable[static_cast<std::size_t>(i)]].defined) return false;
        if (needsAc && !t.ac[s.acTable[static_cast<std::size_t>(i)]].defined) return false;
    }
    if (count == 1) {
        const JpegComponent& c = t.components[s.scanComponents[0]];
        s.mcusWideInScan = c.usedWide;
        s.mcusInScan = c.usedWide * c.usedHigh;
    } else {
        s.mcusWideInScan = t.mcusWide;
        s.mcusInScan = t.mcusWide * t.mcusHigh;
    }
    s.mcuIndex = 0;
    s.mcusToRestart = t.restartInterval;
    s.nextRestart = 0;
    s.dcPredictor = {};
    s.endOfBandRun = 0;
    s.bits = 0;
    s.bitCount = 0;
    s.paddingBits = 0;
    s.markerReached = false;
    s.scanSeen = true;
    return true;
}

// After each restart interval: what is left of the last byte, then the
// expected RSTn marker.
bool JpegScanDecoder::readRestart(JpegScanState& s, PieceFeed& feed) {
    if (s.bitCount - s.paddingBits >= 8) return false;  // whole bytes no MCU used
    uint64_t at = s.position;
    if (feed.byteAt(at) != 0xFF) return false;
    int marker = feed.byteAt(at + 1);
    for (int fills = 0; marker == 0xFF && fills < 16; ++fills) marker = feed.byteAt(++at + 1);
    if (marker != 0xD0 + s.nextRestart) return false;
    s.position = at + 2;
    s.bits = 0;
    s.bitCount = 0;
    s.paddingBits = 0;
    s.markerReached = false;
    s.nextRestart = static_cast<uint8_t>((s.nextRestart + 1) & 7);
    s.mcusToRestart = s.tables->restartInterval;
    s.dcPredictor = {};
    s.endOfBandRun = 0;
    return true;
}

Step JpegScanDecoder::entropyStep(JpegScanState& s, PieceFeed& feed) {
    const JpegTables& t = *s.tables;
    if (s.mcuIndex == s.mcusInScan) {
        // The scan is complete: the marker after it must come next.
        if (s.bitCount - s.paddingBits >= 8) return Step::Failed;
        s.bits = 0;
        s.bitCount = 0;
        s.paddingBits = 0;
        s.markerReached = false;
        s.phase = JpegScanState::Phase::Markers;
        return Step::Continue;
    }
    if (t.restartInterval != 0) {
        if (s.mcusToRestart == 0 && !readRestart(s, feed)) return Step::Failed;
        --s.mcusToRestart;
    }
    const uint32_t mcu = s.mcuIndex++;
    const uint32_t mcuX = mcu % s.mcusWideInScan, mcuY = mcu / s.mcusWideInScan;
    if (s.scanComponentCount == 1) {
        const JpegComponent& c = t.components[s.scanComponents[0]];
        return decodeBlock(s, feed, 0, c.firstBlock + mcuY * c.blocksWide + mcuX) ? Step::Continue : Step::Failed;
    }
    for (int slot = 0; slot < s.scanComponentCount; ++slot) {
        const JpegComponent& c = t.components[s.scanComponents[static_cast<std::size_t>(slot)]];
        for (uint32_t v = 0; v < c.v; ++v)
            for (uint32_t h = 0; h < c.h; ++h)
                if (!decodeBlock(s, feed, slot, c.firstBlock + (mcuY * c.v + v) * c.blocksWide + mcuX * c.h + h))
                    return Step::Failed;
    }
    return Step::Continue;
}

bool JpegScanDecoder::decodeBlock(JpegScanState& s, PieceFeed& feed, int slot, uint32_t block) {
    const JpegTables& t = *s.tables;
    const auto index = static_cast<std::size_t>(slot);
    const int component = s.scanComponents[index];
    const int ss = s.spectralStart, se = s.spectralEnd, al = s.approximationLow;
    int symbol = 0;
    int32_t value = 0;

    if (ss == 0 && s.approximationHigh == 0) {
        // A DC value: a category, then its bits; it must stay within what an
        // 8-bit picture's DCT can hold.
        if (!decodeSymbol(s, feed, t.dc[s.dcTable[index]], symbol) || symbol > 11) return false;
        if (!getBits(s, feed, symbol, value)) return false;
        const int32_t predictor = s.dcPredictor[index] + (symbol ? extend(value, symbol) : 0);
        s.dcPredictor[index] = predictor;
        const int32_t dc = predictor * (1 << al);
        const int32_t quant = t.quantDc[t.components[static_cast<std::size_t>(component)].quantTable];
        if (std::abs(dc) * quant > 2048 + quant) return false;
        dcValues_[block] = static_cast<int16_t>(dc);
        if (component == 0 && s.position > likenessFrom_) {
            const JpegComponent& c = t.components[0];
            if (block >= c.blocksWide) {
                likenessSum_ += uint64_t(std::abs(dc - dcValues_[block - c.blocksWide])) * uint64_t(quant);
                ++likenessCount_;
            }
        }
    } else if (ss == 0) {
        if (!getBits(s, feed, 1, value)) return false;  // a DC refinement bit
    }
    if (se == 0) return true;

    const JpegHuffmanTable& ac = t.ac[s.acTable[index]];
    if (!t.progressive) {
        for (int k = 1; k < 64;) {
            if (s.bitCount < 16) fill(s, feed);
            if (const uint16_t fast = ac.fastAc[s.bits >> (64 - JpegHuffmanTable::kFastBits)]; fast != 0) {
                if (!consume(s, fast & 15)) return false;
                switch (fast >> 8) {
                case JpegHuffmanTable::kCoefficient:
                    k += ((fast >> 4) & 15) + 1;
                    if (k > 64) return false;
                    continue;
                case JpegHuffmanTable::kSixteenZeros:
                    k += 16;
                    if (k > 64) return false;
                    continue;
                default:
                    return true;  // end of block
                }
            }
            if (!decodeSymbol(s, feed, ac, symbol)) return false;
            const int run = symbol >> 4, size = symbol & 15;
            if (size == 0) {
                if (run != 15) break;
                k += 16;
                if (k > 64) return false;
                continue;
            }
            k += run;
            if (k > 63 || size > 10) return false;
            if (!getBits(s, feed, size, value)) return false;
            ++k;
        }
        return true;
    }

    uint64_t mask = nonZero_[block];
    const uint64_t before = mask;
    int k = std::max(ss, 1);
    if (s.approximationHigh == 0) {
        // The first pass over a band.
        if (s.endOfBandRun > 0) {
            --s.endOfBandRun;
            return true;
        }
        while (k <= se) {
            if (!decodeSymbol(s, feed, ac, symbol)) return false;
            const int run = symbol >> 4, size = symbol & 15;
            if (size == 0) {
                if (run < 15) {
                    s.endOfBandRun = (1u << run) - 1;
                    if (run) {
                        if (!getBits(s, feed, run, value)) return false;
                        s.endOfBandRun += uint32_t(value);
                    }
                    break;
                }
                k += 16;
                if (k > se + 1) return false;
                continue;
            }
            k += run;
            if (k > se || size > 10) return false;
            if (!getBits(s, feed, size, value)) return false;
            mask |= uint64_t{1} << k;
            ++k;
        }
    } else {
        // A refinement of a band: a correction bit for every coefficient
        // already non-zero, new ones of magnitude one.
        if (s.endOfBandRun == 0) {
            for (; k <= se; ++k) {
                if (!decodeSymbol(s, feed, ac, symbol)) return false;
                int run = symbol >> 4;
                const int size = symbol & 15;
                if (size != 0) {
                    if (size != 1) return false;
                    if (!getBits(s, feed, 1, value)) return false;
                } else if (run != 15) {
                    s.endOfBandRun = 1u << run;
                    if (run) {
                        if (!getBits(s, feed, run, value)) return false;
                        s.endOfBandRun += uint32_t(value);
                    }
                    break;
                }
                do {
                    if (mask >> k & 1) {
                        if (!getBits(s, feed, 1, value)) return false;
                    } else if (--run < 0) {
                        break;
                    }
                    ++k;
                } while (k <= se);
                if (size != 0) {
                    if (k > se) return false;
                    mask |= uint64_t{1} << k;
                }
            }
        }
        if (s.endOfBandRun > 0) {
            for (; k <= se; ++k)
                if ((mask >> k & 1) && !getBits(s, feed, 1, value)) return false;
            --s.endOfBandRun;
        }
    }
    if (mask != before) setNonZero(block, mask);
    return true;
}

}  // namespace pelorin
