#include "package/intel_hex.h"
#include "base/conversions.h"
#include "package/hex_lines.h"

#include <QBuffer>
#include <array>
#include <optional>

namespace quorvex {

namespace {

// Record types
constexpr int DataRecord = 0x00;
constexpr int EndOfFileRecord = 0x01;
constexpr int ExtendedLinearAddressRecord = 0x04;

// Upper 16 address bits that choose where data records go
constexpr int ProgramRegionBase = 0x0000;
constexpr int EepromRegionBase = 0x00F0;
constexpr int ConfigRegionBase = 0x0030;

// ":" + count (2) + address (4) + type (2) + 255 data bytes (510) + checksum (2)
constexpr char StartCode = ':';
constexpr int RecordOverheadChars = 11;
constexpr int LongestRecordChars = RecordOverheadChars + 2 * 255;

// Where the bootloader expects the application's reset code, and what goes there.
constexpr int RelocatedStart = ProgramImageSize - 8; // 16,184
constexpr std::array<std::int32_t, 4> ResetVectorWords{0x301F, 0x008A, 0x2FA0, 0xFFFF};
constexpr std::int32_t ClearPclathWord = 0x8A01;

enum class Region { Program, Eeprom, Config };

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

struct Record {
    int count = 0;
    int address = 0;
    int type = 0;
    QByteArray data;
};

// A record only when the line is one whole, well-formed record with a matching checksum.
std::optional<Record> ParseRecord(const QByteArray& line) {
    if (line.size() < RecordOverheadChars || line.size() % 2 == 0 || line.at(0) != StartCode)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(line.size() / 2);
    for (qsizetype i = 1; i < line.size(); i += 2) {
        const int high = HexDigit(line.at(i));
        const int low = HexDigit(line.at(i + 1));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(Nibbles2Byte(low, high)));
    }
    Record r;
    r.count = std::uint8_t(bytes.at(0));
    if (line.size() != RecordOverheadChars + 2 * r.count)
        return std::nullopt;
    std::uint8_t sum = 0;
    for (char b : bytes)
        sum = std::uint8_t(sum + std::uint8_t(b));
    if (sum != 0)
        return std::nullopt;
    r.address = Bytes2Word(std::uint8_t(bytes.at(1)), std::uint8_t(bytes.at(2)));
    r.type = std::uint8_t(bytes.at(3));
    r.data = bytes.mid(4, r.count);
    return r;
}

void GrowTo(QByteArray& a, int lastIndex) {
    if (lastIndex >= a.size())
        a.append(QByteArray(lastIndex + 1 - a.size(), '\0'));
}

class HexReader {
  public:
    HexReader() {
        out_.program = QByteArray(ProgramImageSize, char(0xFF));
        out_.eeprom = QByteArray(1, '\0');
        out_.eepromPresent = QByteArray(1, '\0');
        out_.config = QByteArray(1, '\0');
    }

    HexImages read(QIODevice& body) {
        LineSplitter lines(body, LongestRecordChars);
        int lineNumber = 0;
        while (const auto line = lines.next()) {
            ++lineNumber;
            // Blanks around a record are an editor's doing, not damage to the firmware.
            const QByteArray text = line->text.trimmed();
            if (text.isEmpty() && !line->overlong)
                continue;
            const auto record = line->overlong ? std::nullopt : ParseRecord(text);
            if (!record || (record->type == ExtendedLinearAddressRecord && record->count != 2)) {
                out_.message = DamagedRecordMessage(lineNumber);
                return out_;
            }
            if (!apply(*record))
                return out_;
            if (out_.ok)
                return out_;
        }
        return out_;
    }

  private:
    // False when the record ends the reading with a message.
    bool apply(const Record& r) {
        switch (r.type) {
        case ExtendedLinearAddressRecord:
            selectRegion(Bytes2Word(std::uint8_t(r.data.at(0)), std::uint8_t(r.data.at(1))));
            return true;
        case DataRecord:
            return storeData(r);
        case EndOfFileRecord:
            out_.programEnd = lastProgramAddress_ + lastProgramCount_;
            Revector(out_.program);
            out_.ok = true;
            return true;
        default:
            return true;
        }
    }

    void selectRegion(int upper) {
        if (upper == ProgramRegionBase)
            region_ = Region::Program;
        else if (upper == EepromRegionBase)
            region_ = Region::Eeprom;
        else if (upper == ConfigRegionBase)
            region_ = Region::Config;
    }

    bool storeData(const Record& r) {
        switch (region_) {
        case Region::Program:
            if (r.address >= ProgramImageSize)
                return true;
            for (int j = 0; j < r.count; ++j) {
                if (r.address + j >= ProgramImageSize) {
                    out_.message = AddressMessage(r.address);
                    return false;
                }
                out_.program[r.address + j] = r.data.at(j);
            }
            lastProgramAddress_ = r.address;
            lastProgramCount_ = r.count;
            return true;
        case Region::Eeprom:
            for (int j = 0; j < r.count; ++j) {
                GrowTo(out_.eeprom, r.address + j);
                GrowTo(out_.eepromPresent, r.address + j);
                out_.eeprom[r.address + j] = r.data.at(j);
                out_.eepromPresent[r.address + j] = 1;
            }
            return true;
        case Region::Config:
            for (int j = 0; j < r.count; ++j) {
                GrowTo(out_.config, r.address + j);
                out_.config[r.address + j] = r.data.at(j);
            }
            return true;
        }
        return true;
    }

    HexImages out_;
    Region region_ = Region::Program;
    int lastProgramAddress_ = 0;
    int lastProgramCount_ = 0;
};

} // namespace

HexImages ReadIntelHex(QIODevice& body) {
    return HexReader().read(body);
}

HexImages ReadIntelHex(const QByteArray& body) {
    QByteArray copy = body;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadIntelHex(buffer);
}

void Revector(QByteArray& p) {
    const auto at = [&p](int i) { return std::uint8_t(p.at(i)); };
    const std::array<std::int32_t, 4> top{ClearPclathWord, Bytes2Word(at(0), at(1)),
                                          Bytes2Word(at(2), at(3)), Bytes2Word(at(4), at(5))};
    for (int w = 0; w < 4; ++w) {
        p[2 * w] = char(LowByte(ResetVectorWords[w]));
        p[2 * w + 1] = char(HighByte(ResetVectorWords[w]));
        p[RelocatedStart + 2 * w] = char(HighByte(top[w]));
        p[RelocatedStart + 2 * w + 1] = char(LowByte(top[w]));
    }
}

int FirstUnwritableEepromAddress(const QByteArray& eepromPresent) {
    for (int a = HighestWritableEepromAddress + 1; a < eepromPresent.size(); ++a)
        if (eepromPresent.at(a) != 0)
            return a;
    return -1;
}

QString UnwritableEepromMessage(int address) {
    return QStringLiteral("EEPROM address '0x%1' cannot be written by the unit's bootloader, which "
                          "writes EEPROM addresses up to 0xFF only.  Unable to load the DFF file.  "
                          "Please contact Tolvane.")
        .arg(QString::number(address, 16).toUpper());
}

QString AddressMessage(int byteAddress) {
    // The word address, halves rounded to even.
    int word = byteAddress / 2;
    if (byteAddress % 2 != 0 && word % 2 != 0)
        ++word;
    return QStringLiteral("Address '0x%1' is invalid for this processor.  Unable to load the DFF "
                          "file.  Please contact Tolvane.")
        .arg(QString::number(word, 16).toUpper());
}

QString DamagedRecordMessage(int lineNumber) {
    return QStringLiteral("The firmware file is damaged: line %1 is not a valid Intel HEX record."
                          "  Unable to load the DFF file.  Please contact Tolvane.")
        .arg(lineNumber);
}

QByteArray IntelHexRecord(int type, int address, const QByteArray& data) {
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((address >> 8) & 0xFF));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    unsigned sum = 0;
    for (char b : bytes)
        sum += std::uint8_t(b);
    bytes.append(char((0x100 - (sum & 0xFF)) & 0xFF));
    return ':' + bytes.toHex().toUpper();
}

} // namespace quorvex
