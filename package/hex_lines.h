#pragma once
// Splits a device's text into lines at CR, LF or CR LF, a chunk at a time, so that a body
// of any size is read without holding it whole.
#include <QByteArray>
#include <QIODevice>
#include <optional>

namespace quorvex {

struct TextLine {
    QByteArray text;
    // The line ran past the limit; `text` holds only its start.
    bool overlong = false;
};

class LineSplitter {
  public:
    LineSplitter(QIODevice& in, qsizetype limit) : in_(in), limit_(limit) {}
    // The next line without its ending; none at the end of the text.
    std::optional<TextLine> next();

  private:
    bool refill();
    void take(TextLine& line, qsizetype from, qsizetype to);

    QIODevice& in_;
    qsizetype limit_;
    QByteArray buf_;
    qsizetype pos_ = 0;
    bool skipLf_ = false;
};

} // namespace quorvex
