#include "FieldReaders.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "catalog/uFileReader.h"
#include "common/Utf8.h"

namespace folvane {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

bool isAscii(std::string_view s)
{
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) { // eight bytes at a time
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & kHighBits)
            return false;
    }
    for (; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x80)
            return false;
    return true;
}

// Bytes of a name as shown: themselves when they are UTF-8, else with U+FFFD (in `scratch`).
std::string_view shown(std::string_view bytes, std::string &scratch)
{
    if (isAscii(bytes) || IsValidUtf8(bytes))
        return bytes;
    scratch = ValidUtf8(bytes);
    return scratch;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// A number a written size text reads as, as a size (see SizeNumber).
SizeNumber sizeFromValue(double value)
{
    constexpr double kBeyond = 18446744073709551616.0; // 2^64
    SizeNumber size;
    size.value = value;
    size.whole = value >= 0 && value < kBeyond && std::floor(value) == value;
    if (value <= 0)
        size.bytes = 0;
    else if (value >= kBeyond)
        size.bytes = UINT64_MAX;
    else
        size.bytes = std::uint64_t(std::round(value)); // std::round takes halves away from zero
    return size;
}

// Eight bytes with a to z as A to Z, all at once: a byte below 0x80 whose low seven bits lie
// from 'a' to 'z' loses 0x20.
std::uint64_t upperAscii(std::uint64_t bytes)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    const std::uint64_t low = bytes & ~kHighBits;
    const std::uint64_t atLeastA = low + (0x80 - 'a') * kOnes; // high bit: byte >= 'a'
    const std::uint64_t beyondZ = low + (0x80 - 'z' - 1) * kOnes; // high bit: byte > 'z'
    const std::uint64_t lower = atLeastA & ~beyondZ & ~bytes & kHighBits;
    return bytes - (lower >> 2);
}

// The first 16 bytes of a text with a to z as A to Z, as two big-endian words, padded with zero
// bytes: words in this order compare as CompareTextIgnoreAsciiCase compares those bytes.
void packPrefix(std::string_view text, std::uint64_t (&prefix)[2])
{
    unsigned char bytes[16] = {};
    if (!text.empty())
        std::memcpy(bytes, text.data(), text.size() < 16 ? text.size() : 16);
    for (int w = 0; w < 2; ++w) {
        std::uint64_t word = 0;
        for (int i = 0; i < 8; ++i) // big-endian, whatever the machine's order
            word = (word << 8) | bytes[w * 8 + i];
        prefix[w] = upperAscii(word);
    }
}

} // namespace

std::string_view FieldText(const TNodeTree &tree, NodeId node, int field, std::string &scratch)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return {};
    if (const std::string *written = tree.Override(node, field))
        return *written;
    switch (field) {
    case FileName:
    case DOSName: return shown(tree.NameBytes(node), scratch);
    case FileExt: return shown(ExtensionOf(tree.NameBytes(node)), scratch);
    default: scratch = tree.Field(node, field); return scratch;
    }
}

std::string PathBytesOf(const TNodeTree &tree, NodeId node)
{
    if (const std::string *written = tree.Override(node, FullPath))
        return *written;
    return tree.Data(node).Has(FullPath) ? tree.PathBytes(node) : std::string();
}

std::string_view KindText(const TNodeTree &tree, NodeId node)
{
    if (const std::string *written = tree.Override(node, FileType))
        return trimmed(*written);
    switch (tree.Data(node).Kind()) {
    case NodeKind::Folder: return "folder";
    case NodeKind::File: return "file";
    default: return {};
    }
}

double NumberOf(const TNodeTree &tree, NodeId node, int field)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return 0;
    if (const std::string *written = tree.Override(node, field))
        return ParseFloat(*written).value_or(0.0);
    switch (field) {
    case FileSize: return double(d.size);
    case FileCount: return double(d.count);
    case SizePercentage:
        if (d.percent == TFileNodeData::kZeroTotal)
            return 0;
        if (!Forms().decimal.empty())
            return double(d.percent) / 100.0; // what the text "0.00" of these hundredths reads as
        break;
    case FileNameLength: return double(CodePointCount(tree.NameBytes(node)));
    case PathNameLength: return double(CodePointCount(tree.PathBytes(node)));
    default: break;
    }
    return ParseFloat(tree.Field(node, field)).value_or(0.0);
}

DateKey DateKeyOf(const TNodeTree &tree, NodeId node, int field)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return {};
    if (const std::string *written = tree.Override(node, field))
        return DateKeyOf(*written);
    LocalSeconds t = d.times[field - CreateTime];
    if (DateTextRoundTrips(t))
        return {DateKey::Valid, t};
    return DateKeyOf(FormatDateTime(t));
}

std::optional<LocalSeconds> TimeOf(const TNodeTree &tree, NodeId node, int field)
{
    DateKey key = DateKeyOf(tree, node, field);
    if (key.state != DateKey::Valid)
        return std::nullopt;
    return key.t;
}

std::optional<SizeNumber> SizeOf(const TNodeTree &tree, NodeId node)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(FileSize))
        return std::nullopt;
    const std::string *written = tree.Override(node, FileSize);
    if (!written)
        return SizeNumber{d.size, double(d.size), true};
    if (auto value = ParseFloat(*written))
        return sizeFromValue(*value);
    return std::nullopt;
}

std::optional<int> ClassIndexOf(const TNodeTree &tree, NodeId node, int field)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return 0;
    if (const std::string *written = tree.Override(node, field)) {
        int value = 0;
        std::string_view s = *written;
        auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec != std::errc() || ptr != s.data() + s.size())
            return std::nullopt;
        return value;
    }
    return d.classes[field - CreateAgeRange];
}

FieldKey KeyOf(const TNodeTree &tree, NodeId node, int field)
{
    FieldKey key;
    key.kind = tree.Override(node, FileType) ? NodeKind::Other : tree.Data(node).Kind();
    if (key.kind == NodeKind::Other) {
        // A written FileType is a kind by its text; "folder" and "file" stand for the typed kinds.
        key.kindText = KindText(tree, node);
        if (key.kindText == "folder")
            key.kind = NodeKind::Folder;
        else if (key.kindText == "file")
            key.kind = NodeKind::File;
    }
    switch (ComparedAs(field)) {
    case Compared::Number: key.number = NumberOf(tree, node, field); break;
    case Compared::Date: key.date = DateKeyOf(tree, node, field); break;
    case Compared::Always: break;
    case Compared::Text: {
        std::string scratch;
        std::string_view text = FieldText(tree, node, field, scratch);
        if (!text.empty() && text.data() == scratch.data()) {
            key.owned_ = std::move(scratch);
            key.ownsText_ = true;
        } else {
            key.text_ = text;
        }
        key.length = key.Text().size();
        packPrefix(key.Text(), key.prefix);
        break;
    }
    }
    return key;
}

} // namespace folvane
