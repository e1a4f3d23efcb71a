#include "geodata/GmlSplice.h"

#include <functional>
#include <optional>
#include <vector>

namespace {

// One piece of markup: [begin, end) runs from "<" to just past ">".
struct Tag {
    enum class Kind { Start, End, Empty, Other };
    Kind kind = Kind::Other;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string_view name;  // qualified name of Start, End and Empty tags
};

bool isNameEnd(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/' || c == '>';
}

std::string_view nameAt(std::string_view doc, std::size_t from) {
    std::size_t end = from;
    while (end < doc.size() && !isNameEnd(doc[end]))
        ++end;
    return doc.substr(from, end - from);
}

std::optional<Tag> skipTo(std::string_view doc, std::size_t begin, std::string_view closer) {
    const auto close = doc.find(closer, begin);
    if (close == std::string_view::npos)
        return std::nullopt;
    return Tag{Tag::Kind::Other, begin, close + closer.size(), {}};
}

// The end of a start tag: the first ">" outside quoted attribute values.
std::optional<std::size_t> startTagEnd(std::string_view doc, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < doc.size(); ++i) {
        const char c = doc[i];
        if (quote != 0) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return std::nullopt;
}

// The next markup at or after from; nullopt at the end of the text or in unterminated markup.
std::optional<Tag> nextTag(std::string_view doc, std::size_t from) {
    const auto begin = doc.find('<', from);
    if (begin == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = doc.substr(begin);
    if (rest.starts_with("<!--"))
        return skipTo(doc, begin, "-->");
    if (rest.starts_with("<![CDATA["))
        return skipTo(doc, begin, "]]>");
    if (rest.starts_with("<?"))
        return skipTo(doc, begin, "?>");
    if (rest.starts_with("<!"))
        return skipTo(doc, begin, ">");
    if (rest.starts_with("</")) {
        const auto close = doc.find('>', begin);
        if (close == std::string_view::npos)
            return std::nullopt;
        return Tag{Tag::Kind::End, begin, close + 1, nameAt(doc, begin + 2)};
    }
    const auto end = startTagEnd(doc, begin + 1);
    if (!end)
        return std::nullopt;
    const bool empty = doc[*end - 2] == '/';
    return Tag{empty ? Tag::Kind::Empty : Tag::Kind::Start, begin, *end, nameAt(doc, begin + 1)};
}

// The end tag that closes the element opened by start.
std::optional<Tag> closingTag(std::string_view doc, const Tag& start) {
    int depth = 1;
    for (auto tag = nextTag(doc, start.end); tag; tag = nextTag(doc, tag->end)) {
        if (tag->kind == Tag::Kind::Start)
            ++depth;
        if (tag->kind == Tag::Kind::End && --depth == 0)
            return tag;
    }
    return std::nullopt;
}

std::string_view localName(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view prefixOf(std::string_view qname) {
    const auto colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon + 1);
}

// The gml:id attribute of a start tag; empty when it has none.
std::string_view gmlId(std::string_view doc, const Tag& tag) {
    const std::string_view text = doc.substr(tag.begin, tag.end - tag.begin);
    for (auto at = text.find("gml:id"); at != std::string_view::npos;
         at = text.find("gml:id", at + 1)) {
        const char before = text[at - 1];
        if (before != ' ' && before != '\t' && before != '\r' && before != '\n')
            continue;
        auto i = text.find_first_not_of(" \t\r\n", at + 6);
        if (i == std::string_view::npos || text[i] != '=')
            continue;
        i = text.find_first_not_of(" \t\r\n", i + 1);
        if (i == std::string_view::npos || (text[i] != '"' && text[i] != '\''))
            continue;
        const auto close = text.find(text[i], i + 1);
        if (close == std::string_view::npos)
            return {};
        return text.substr(i + 1, close - i - 1);
    }
    return {};
}

}  // namespace

struct GmlSplice::Feature {
    std::size_t outerBegin, outerEnd;  // the member element, or the bare feature
    std::size_t innerBegin, innerEnd;  // the feature inside it
    std::string_view wrapper;          // the member element's name; empty for a bare feature
    std::string_view id;
};

struct GmlSplice::Scan {
    std::string_view rootName;
    std::size_t rootEnd = 0;  // the root's end tag, or its "/>" when it is empty
    bool selfClosing = false;
    std::vector<Feature> features;
    std::string_view memberName;                // the first member element's name
    std::optional<std::size_t> membersListEnd;  // end tag of a featureMembers element

    static std::optional<Scan> of(std::string_view doc);

private:
    bool readMember(std::string_view doc, const Tag& start, const Tag& end);
    bool readMembersList(std::string_view doc, const Tag& start);
};

bool GmlSplice::Scan::readMember(std::string_view doc, const Tag& start, const Tag& end) {
    Feature f{start.begin, end.end, start.end, end.begin, start.name, {}};
    auto inner = nextTag(doc, start.end);
    while (inner && inner->kind == Tag::Kind::Other)
        inner = nextTag(doc, inner->end);
    if (inner && inner->begin < end.begin && inner->kind != Tag::Kind::End) {
        f.id = gmlId(doc, *inner);
    }
    if (memberName.empty())
        memberName = start.name;
    features.push_back(f);
    return true;
}

bool GmlSplice::Scan::readMembersList(std::string_view doc, const Tag& start) {
    for (auto tag = nextTag(doc, start.end); tag; tag = nextTag(doc, tag->end)) {
        if (tag->kind == Tag::Kind::End) {
            membersListEnd = tag->begin;
            return true;
        }
        if (tag->kind == Tag::Kind::Other)
            continue;
        std::size_t featureEnd = tag->end;
        if (tag->kind == Tag::Kind::Start) {
            const auto close = closingTag(doc, *tag);
            if (!close)
                return false;
            featureEnd = close->end;
        }
        features.push_back({tag->begin, featureEnd, tag->begin, featureEnd, {}, gmlId(doc, *tag)});
        tag->end = featureEnd;
    }
    return false;
}

std::optional<GmlSplice::Scan> GmlSplice::Scan::of(std::string_view doc) {
    auto root = nextTag(doc, 0);
    while (root && root->kind == Tag::Kind::Other)
        root = nextTag(doc, root->end);
    if (!root || root->kind == Tag::Kind::End || localName(root->name) != "FeatureCollection") {
        return std::nullopt;
    }
    Scan scan;
    scan.rootName = root->name;
    if (root->kind == Tag::Kind::Empty) {
        scan.selfClosing = true;
        scan.rootEnd = root->end - 2;
        return scan;
    }
    for (auto tag = nextTag(doc, root->end); tag; tag = nextTag(doc, tag->end)) {
        if (tag->kind == Tag::Kind::End) {
            scan.rootEnd = tag->begin;
            return scan;
        }
        if (tag->kind != Tag::Kind::Start)
            continue;
        const std::string_view local = localName(tag->name);
        if (local == "featureMembers") {
            if (!scan.readMembersList(doc, *tag))
                return std::nullopt;
            tag->end = doc.find('>', *scan.membersListEnd) + 1;
            continue;
        }
        const auto close = closingTag(doc, *tag);
        if (!close)
            return std::nullopt;
        if (local == "member" || local == "featureMember")
            scan.readMember(doc, *tag, *close);
        tag->end = close->end;
    }
    return std::nullopt;
}

void GmlSplice::adoptFirst(std::string_view document, const Scan& scan) {
    if (scan.selfClosing) {
        // An empty collection written as <wfs:FeatureCollection .../>: open it up.
        const std::string closer = "></" + std::string(scan.rootName) + ">";
        document_.reserve(document.size() + closer.size());
        document_.assign(document.substr(0, scan.rootEnd));
        document_ += closer;
        document_.append(document.substr(scan.rootEnd + 2));
        insertAt_ = scan.rootEnd + 1;
    } else {
        document_.assign(document);
        insertAt_ = scan.membersListEnd.value_or(scan.rootEnd);
    }
    rawFeatures_ = scan.membersListEnd.has_value();
    memberName_ = !scan.memberName.empty() ? std::string(scan.memberName)
                  : wfs110_                ? std::string("gml:featureMember")
                                           : std::string(prefixOf(scan.rootName)) + "member";
}

std::string GmlSplice::wrapped(std::string_view text, const Feature& f) const {
    const std::string_view inner = text.substr(f.innerBegin, f.innerEnd - f.innerBegin);
    if (rawFeatures_)
        return std::string(inner);
    if (f.wrapper == memberName_)
        return std::string(text.substr(f.outerBegin, f.outerEnd - f.outerBegin));
    return "<" + memberName_ + ">" + std::string(inner) + "</" + memberName_ + ">";
}

std::optional<int> GmlSplice::featureCount(std::string_view document) {
    const auto scan = Scan::of(document);
    if (!scan)
        return std::nullopt;
    return static_cast<int>(scan->features.size());
}

// A first page, or one without features, repeats nothing.
bool GmlSplice::bringsNewToArea(std::string_view text, const Scan& scan, Page page) {
    if (page == Page::First)
        areaFeatures_.clear();
    bool brings = page == Page::First || scan.features.empty();
    for (const Feature& f : scan.features) {
        const std::string_view identity =
            !f.id.empty() ? f.id : text.substr(f.innerBegin, f.innerEnd - f.innerBegin);
        brings = areaFeatures_.insert(std::hash<std::string_view>{}(identity)).second || brings;
    }
    return brings;
}

GmlSplice::Added GmlSplice::add(std::string_view document, Page page) {
    const auto scan = Scan::of(document);
    if (!scan)
        return {};
    Added added{true, static_cast<int>(scan->features.size()), 0};
    if (!bringsNewToArea(document, *scan, page)) {
        added.repeated = true;
        return added;
    }
    const bool first = document_.empty();
    if (first)
        adoptFirst(document, *scan);

    std::string insertion;
    for (const Feature& f : scan->features) {
        if (!f.id.empty() && !seenIds_.emplace(f.id).second)
            continue;
        ++added.fresh;
        if (!first)
            insertion += wrapped(document, f);
    }
    document_.insert(insertAt_, insertion);
    insertAt_ += insertion.size();
    return added;
}
