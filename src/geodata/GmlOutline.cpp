#include "geodata/GmlOutline.h"

#include <array>
#include <cstring>

namespace {

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

enum NameClass : unsigned char { kNotInName = 0, kInName = 1, kStartsName = 2 };

// Letters, '_', ':' and every byte of a multi-byte UTF-8 character may start a name; digits, '-'
// and '.' may follow.
constexpr std::array<unsigned char, 256> kNameClass = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const bool starts =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
        const bool follows = (c >= '0' && c <= '9') || c == '-' || c == '.';
        table[c] = starts ? kInName | kStartsName : follows ? kInName : kNotInName;
    }
    return table;
}();

bool isNameStart(char c) {
    return (kNameClass[static_cast<unsigned char>(c)] & kStartsName) != 0;
}

bool isNameChar(char c) {
    return (kNameClass[static_cast<unsigned char>(c)] & kInName) != 0;
}

bool isMemberName(std::string_view name) {
    const std::size_t colon = name.find(':');
    const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    return local == "member" || local == "featureMember";
}

struct OpenElement {
    std::string_view name;
    std::string_view srsCarrier;  // the nearest start tag carrying "srsName", this one included
};

// A start tag as read: its name, its whole text and what the outline needs of its attributes.
struct StartTag {
    std::string_view name;
    std::string_view text;
    bool carriesSrsName = false;
    bool selfClosing = false;
};

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::optional<GmlOutline> run() {
        if (text_.starts_with("\xEF\xBB\xBF"))
            pos_ = 3;
        while (true) {
            const void* const next = std::memchr(text_.data() + pos_, '<', text_.size() - pos_);
            if (next == nullptr)
                break;
            pos_ = static_cast<const char*>(next) - text_.data();
            if (!markup())
                return std::nullopt;
        }
        if (!open_.empty() || !rootClosed_)
            return std::nullopt;
        return std::move(outline_);
    }

private:
    char at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

    // One piece of markup starting at the '<' at pos_; false when it is broken.
    bool markup() {
        const char kind = at(pos_ + 1);
        if (kind == '/')
            return endTag();
        if (kind == '?')
            return isNameStart(at(pos_ + 2)) && skipPast(pos_, "?>", 2);
        if (kind == '!')
            return declaration();
        if (isNameStart(kind))
            return startTag();
        return false;
    }

    // Comments, CDATA sections and the document type declaration, which only stands outside
    // every element.
    bool declaration() {
        const std::string_view rest = text_.substr(pos_);
        if (rest.starts_with("<!--"))
            return skipPast(pos_, "-->", 4);
        if (rest.starts_with("<![CDATA["))
            return skipPast(pos_, "]]>", 9);
        if (rest.starts_with("<!DOCTYPE") && open_.empty())
            return doctype();
        return false;
    }

    // Moves i past the first terminator that begins at least skip characters after it; false
    // when there is none.
    bool skipPast(std::size_t& i, std::string_view terminator, std::size_t skip) const {
        const std::size_t found = text_.find(terminator, i + skip);
        if (found == std::string_view::npos)
            return false;
        i = found + terminator.size();
        return true;
    }

    // Moves past a quoted text starting at i; false when it is not closed.
    bool skipQuoted(std::size_t& i) const {
        const std::size_t close = text_.find(text_[i], i + 1);
        if (close == std::string_view::npos)
            return false;
        i = close + 1;
        return true;
    }

    // The document type declaration ends at the first '>' outside its markup declarations
    // ("<!...>", nested) and ignored sections ("<![...]]>"); quoted texts, comments and processing
    // instructions are passed over whole, and any other tag inside it is an error.
    bool doctype() {
        std::size_t depth = 0;
        std::size_t i = pos_ + 2;
        while (i < text_.size()) {
            const std::string_view rest = text_.substr(i);
            if (rest.starts_with("<![")) {
                if (!skipIgnoredSection(i))
                    return false;
            } else if (rest.starts_with("<!") && !rest.starts_with("<!-")) {
                i += 2;
                ++depth;
            } else if (rest[0] == '<' || rest[0] == '"' || rest[0] == '\'') {
                if (!skipDoctypeText(i))
                    return false;
            } else if (rest[0] == '>' && depth == 0) {
                pos_ = i + 1;
                return true;
            } else {
                depth -= rest[0] == '>' ? 1 : 0;
                ++i;
            }
        }
        return false;
    }

    bool skipDoctypeText(std::size_t& i) const {
        const std::string_view rest = text_.substr(i);
        if (rest[0] == '"' || rest[0] == '\'')
            return skipQuoted(i);
        if (rest.starts_with("<?"))
            return skipPast(i, "?>", 2);
        return rest.starts_with("<!--") && skipPast(i, "-->", 4);
    }

    // An ignored section, which may hold further ones.
    bool skipIgnoredSection(std::size_t& i) const {
        std::size_t depth = 0;
        for (i += 3; i < text_.size();) {
            const std::string_view rest = text_.substr(i);
            if (rest.starts_with("<![")) {
                i += 3;
                ++depth;
            } else if (rest.starts_with("]]>")) {
                i += 3;
                if (depth-- == 0)
                    return true;
            } else {
                ++i;
            }
        }
        return false;
    }

    std::string_view nameAt(std::size_t& i) const {
        const std::size_t begin = i;
        while (i < text_.size() && isNameChar(text_[i]))
            ++i;
        return text_.substr(begin, i - begin);
    }

    void skipSpace(std::size_t& i) const {
        while (i < text_.size() && isXmlSpace(text_[i]))
            ++i;
    }

    // One attribute, name="value" or name='value', starting at i.
    bool attribute(std::size_t& i, StartTag& tag) const {
        const std::string_view name = nameAt(i);
        skipSpace(i);
        if (at(i) != '=')
            return false;
        ++i;
        skipSpace(i);
        if (at(i) != '"' && at(i) != '\'')
            return false;
        tag.carriesSrsName = tag.carriesSrsName || name == "srsName";
        return skipQuoted(i);
    }

    // Inside a member, whose own tree checks its markup again, the attributes only need to be
    // passed over once the first "srsName" is known.
    bool skipAttributes(std::size_t& i, StartTag& tag) const {
        while (i < text_.size()) {
            const char c = text_[i];
            if (c == '>') {
                tag.selfClosing = text_[i - 1] == '/';
                ++i;
                return true;
            }
            if (c != '"' && c != '\'')
                ++i;
            else if (!skipQuoted(i))
                return false;
        }
        return false;
    }

    // Reads the start tag at pos_ and moves past it; false when it is broken.
    bool readStartTag(StartTag& tag) {
        std::size_t i = pos_ + 1;
        tag.name = nameAt(i);
        const bool checked = !inMember() || outline_.firstSrsCarrier.empty();
        if (!checked && !skipAttributes(i, tag))
            return false;
        while (checked) {
            const std::size_t before = i;
            skipSpace(i);
            const char c = at(i);
            if (c == '>' || (c == '/' && at(i + 1) == '>')) {
                tag.selfClosing = c == '/';
                i += tag.selfClosing ? 2 : 1;
                break;
            }
            if (i == before || !isNameStart(c) || !attribute(i, tag))
                return false;
        }
        tag.text = text_.substr(pos_, i - pos_);
        pos_ = i;
        return true;
    }

    bool startTag() {
        StartTag tag;
        if (!readStartTag(tag))
            return false;
        const bool inRoot = !rootClosed_;
        const std::string_view around =
            open_.empty() ? std::string_view() : open_.back().srsCarrier;
        if (inRoot && tag.carriesSrsName && outline_.firstSrsCarrier.empty())
            outline_.firstSrsCarrier = tag.text;
        if (inRoot && isMemberName(tag.name)) {
            ++outline_.memberElements;
            if (inMember())
                holdsMembers_ = true;
            else
                openMember(tag.text, around);
        }
        if (tag.selfClosing)
            closed();
        else
            open_.push_back({tag.name, tag.carriesSrsName ? tag.text : around});
        return true;
    }

    bool endTag() {
        std::size_t i = pos_ + 2;
        const std::string_view name = nameAt(i);
        skipSpace(i);
        if (open_.empty() || name != open_.back().name || at(i) != '>')
            return false;
        open_.pop_back();
        pos_ = i + 1;
        closed();
        return true;
    }

    bool inMember() const { return memberBegin_ != nullptr; }

    void openMember(std::string_view startTag, std::string_view srsCarrier) {
        memberBegin_ = startTag.data();
        memberCarrier_ = srsCarrier;
        memberDepth_ = open_.size();
        holdsMembers_ = false;
    }

    // An element ended just before pos_: when it is the open member, the member is complete;
    // when no element is left open, the document element (or a later one) is complete.
    void closed() {
        rootClosed_ = rootClosed_ || open_.empty();
        if (!inMember() || open_.size() != memberDepth_)
            return;
        const std::size_t length = text_.data() + pos_ - memberBegin_;
        outline_.members.push_back(
            {std::string_view(memberBegin_, length), memberCarrier_, holdsMembers_});
        memberBegin_ = nullptr;
    }

    const std::string_view text_;
    std::size_t pos_ = 0;
    std::vector<OpenElement> open_;
    bool rootClosed_ = false;
    const char* memberBegin_ = nullptr;  // the open member's start; null outside members
    std::string_view memberCarrier_;
    std::size_t memberDepth_ = 0;  // the number of elements around the open member
    bool holdsMembers_ = false;
    GmlOutline outline_;
};

}  // namespace

std::optional<GmlOutline> GmlOutline::scan(std::string_view text) {
    return Scanner(text).run();
}
