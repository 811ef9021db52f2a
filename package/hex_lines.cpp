#include "package/hex_lines.h"

namespace quorvex {

namespace {
constexpr qint64 ChunkSize = 64 * 1024;
}

bool LineSplitter::refill() {
    buf_.resize(ChunkSize);
    const qint64 got = in_.read(buf_.data(), ChunkSize);
    buf_.resize(got > 0 ? got : 0);
    pos_ = 0;
    return got > 0;
}

void LineSplitter::take(TextLine& line, qsizetype from, qsizetype to) {
    const qsizetype room = limit_ - line.text.size();
    if (to - from > room) {
        line.overlong = true;
        to = from + std::max<qsizetype>(room, 0);
    }
    line.text.append(buf_.constData() + from, to - from);
}

std::optional<TextLine> LineSplitter::next() {
    TextLine line;
    bool started = false;
    for (;;) {
        if (pos_ == buf_.size() && !refill())
            return started ? std::optional<TextLine>(line) : std::nullopt;
        if (skipLf_) {
            skipLf_ = false;
            if (buf_.at(pos_) == '\n') {
                ++pos_;
                continue;
            }
        }
        started = true;
        qsizetype end = pos_;
        while (end < buf_.size() && buf_.at(end) != '\r' && buf_.at(end) != '\n')
            ++end;
        take(line, pos_, end);
        if (end < buf_.size()) {
            skipLf_ = buf_.at(end) == '\r';
            pos_ = end + 1;
            return line;
        }
        pos_ = end;
    }
}

} // namespace quorvex
