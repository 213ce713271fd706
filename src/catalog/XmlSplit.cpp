#include "catalog/XmlSplit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

namespace folvane {

namespace {

constexpr std::size_t kPiece = 1 << 18;
// A tag, comment or instruction longer than this is not followed: no cut.
constexpr std::size_t kLongestMarkup = std::size_t(16) << 20;

class File {
public:
    explicit File(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Open() const { return fd_ >= 0; }
    // Appends up to one piece to `into`; false at the end or on an error.
    bool ReadOn(std::string &into)
    {
        const std::size_t had = into.size();
        into.resize(had + kPiece);
        ssize_t got;
        do
            got = ::read(fd_, into.data() + had, kPiece);
        while (got < 0 && errno == EINTR);
        into.resize(had + std::size_t(std::max<ssize_t>(got, 0)));
        return got > 0;
    }
    bool ReadAt(std::uint64_t offset, std::size_t size, std::string &into) const
    {
        into.resize(size);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::pread(fd_, into.data() + done, size - done, off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            done += std::size_t(got);
        }
        return true;
    }

private:
    int fd_;
};

// Where the markup that starts with the "<" at `at` ends (the index of its last character), or
// npos when the text held does not reach its end yet. `kind` says what it is.
enum class Markup { StartTag, EmptyTag, EndTag, Comment, Instruction, CData, Declaration };

std::size_t markupEnd(std::string_view s, std::size_t at, Markup &kind, bool &needMore)
{
    needMore = false;
    auto closeAfter = [&](std::size_t from, std::string_view close) {
        const std::size_t found = s.find(close, from);
        needMore = found == std::string_view::npos;
        return needMore ? found : found + close.size() - 1;
    };
    const std::string_view rest = s.substr(at);
    if (rest.size() < 9 && !(rest.size() >= 2 && rest[1] != '!')) {
        needMore = true; // "<!" needs up to "<![CDATA[" to tell what it is
        return std::string_view::npos;
    }
    if (rest.starts_with("<!--")) {
        kind = Markup::Comment;
        return closeAfter(at + 4, "-->");
    }
    if (rest.starts_with("<![CDATA[")) {
        kind = Markup::CData;
        return closeAfter(at + 9, "]]>");
    }
    if (rest.starts_with("<!")) {
        kind = Markup::Declaration;
        return at;
    }
    if (rest.starts_with("<?")) {
        kind = Markup::Instruction;
        return closeAfter(at + 2, "?>");
    }
    if (rest.starts_with("</")) {
        kind = Markup::EndTag;
        return closeAfter(at + 2, ">");
    }
    // A start tag: ">" ends it outside the quotes of its attribute values.
    for (std::size_t i = at + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"' || c == '\'') {
            const std::size_t close = s.find(c, i + 1);
            if (close == std::string_view::npos)
                break;
            i = close;
        } else if (c == '>') {
            kind = s[i - 1] == '/' ? Markup::EmptyTag : Markup::StartTag;
            return i;
        }
    }
    needMore = true;
    return std::string_view::npos;
}

// The encoding an XML declaration names is UTF-8 (or it names none).
bool declaresUtf8(std::string_view declaration)
{
    const std::size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return true;
    std::size_t i = at + 8;
    while (i < declaration.size() && (declaration[i] == ' ' || declaration[i] == '=' || declaration[i] == '\t'))
        ++i;
    if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\''))
        return false;
    const std::size_t end = declaration.find(declaration[i], i + 1);
    if (end == std::string_view::npos)
        return false;
    std::string name(declaration.substr(i + 1, end - i - 1));
    for (char &c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return name == "utf-8" || name == "utf8";
}

} // namespace

TXmlCut FindXmlCut(const std::string &path, std::uint64_t target)
{
    File file(path);
    if (!file.Open())
        return {};
    struct Tag {
        std::uint64_t start, length;
    };
    std::vector<Tag> open; // the start tags of the elements open so far
    std::string text;
    std::uint64_t base = 0; // the file offset of text[0]
    std::size_t pos = 0;
    if (!file.ReadOn(text) || text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
        return {};
    bool first = true;
    for (;;) {
        const char *lt = static_cast<const char *>(std::memchr(text.data() + pos, '<', text.size() - pos));
        if (!lt) {
            base += text.size();
            text.clear();
            pos = 0;
            if (!file.ReadOn(text))
                return {};
            continue;
        }
        const std::size_t at = std::size_t(lt - text.data());
        Markup kind;
        bool needMore;
        const std::size_t end = markupEnd(text, at, kind, needMore);
        if (needMore) {
            // Keep the markup begun, and read on.
            if (text.size() - at > kLongestMarkup)
                return {};
            text.erase(0, at);
            base += at;
            pos = 0;
            if (!file.ReadOn(text))
                return {};
            continue;
        }
        const std::uint64_t offset = base + at;
        switch (kind) {
        case Markup::StartTag:
        case Markup::EmptyTag:
            if (!open.empty() && offset >= target) {
                TXmlCut cut;
                cut.at = offset;
                std::string tag;
                for (const Tag &t : open) {
                    if (!file.ReadAt(t.start, std::size_t(t.length), tag))
                        return {};
                    cut.openTags += tag;
                }
                return cut;
            }
            if (kind == Markup::StartTag)
                open.push_back({offset, end - at + 1});
            break;
        case Markup::EndTag:
            if (open.empty())
                return {}; // not well-formed: the parser will say where
            open.pop_back();
            break;
        case Markup::Instruction:
            if (first && std::string_view(text).substr(at).starts_with("<?xml") &&
                !declaresUtf8(std::string_view(text).substr(at, end - at + 1)))
                return {};
            break;
        case Markup::Declaration: return {}; // a document type: the parser refuses it
        case Markup::Comment:
        case Markup::CData: break;
        }
        first = false;
        pos = end + 1;
    }
}

} // namespace folvane
