#pragma once
// Joins the answers of several GetFeature requests into one feature collection document, as
// text: the first collection is kept whole, with its root element, namespaces and attributes,
// and the features of every later one are inserted before the end of its member list. Members
// of WFS 2.0 ("member") and of GML 3 ("featureMember", "featureMembers") are understood, under
// any namespace prefix. A feature whose gml:id was already taken is left out, so features that
// cross the border of two requested areas appear once.
//
// The answers for one area may come as pages. A later page that brings no feature the earlier
// pages of its area did not (by gml:id, or by its whole markup when it has none) repeats them, as
// a service that ignores the start index answers, and is not joined.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

class GmlSplice {
public:
    // Where an answer stands among the pages of its area: the first starts another area.
    enum class Page { First, Later };

    struct Added {
        bool collection = false;  // the text was a feature collection (it may hold no feature)
        int features = 0;         // features the text held
        int fresh = 0;            // of them, features not seen before
        bool repeated = false;    // a later page that repeats its area's earlier ones
    };

    // wfs110 picks the member element wrapped around features when the first collection shows
    // none of its own: "gml:featureMember", else "wfs:member".
    explicit GmlSplice(bool wfs110) : wfs110_(wfs110) {}

    // Adds the features of one answer; a text that is not a feature collection adds nothing.
    Added add(std::string_view document, Page page = Page::First);

    // The number of features of a feature collection; nothing for a text that is not one.
    static std::optional<int> featureCount(std::string_view document);

    // The joined document; "" while no collection was added.
    const std::string& document() const { return document_; }
    std::string take() { return std::move(document_); }

private:
    struct Feature;
    struct Scan;
    void adoptFirst(std::string_view document, const Scan& scan);
    std::string wrapped(std::string_view documentText, const Feature& feature) const;
    bool bringsNewToArea(std::string_view documentText, const Scan& scan, Page page);

    bool wfs110_;
    std::string document_;
    std::size_t insertAt_ = 0;  // where the next features go in document_
    bool rawFeatures_ = false;  // features go in bare (into a featureMembers element)
    std::string memberName_;    // element wrapped around each feature otherwise
    std::unordered_set<std::string> seenIds_;
    std::unordered_set<std::size_t> areaFeatures_;  // hashed gml:id, or markup without one
};
