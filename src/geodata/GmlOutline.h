#pragma once
// The outline of a GML feature collection, found in one pass over its markup without building a
// tree: where its feature members stand, and which start tags name their reference systems. The
// reader then builds the tree of one member at a time, so a large answer is never held as a
// whole tree.
//
// Outside the members the pass checks the markup as the tree reader does: every tag is closed and
// ends its own element, attribute values are quoted and separated by white space, comments, CDATA
// sections, processing instructions and the document type declaration are closed, and there is a
// document element. Inside a member it finds where tags begin and end, and leaves the rest of the
// checking to the member's tree. Text is skipped unread.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

struct GmlMemberSpan {
    // The member element, from the '<' of its start tag to the '>' of its end tag.
    std::string_view element;
    // The start tag of the nearest element around the member that carries "srsName"; empty
    // when none does.
    std::string_view srsCarrier;
    // Whether other members stand inside this one.
    bool holdsMembers = false;
};

struct GmlOutline {
    // The start tag of the first element of the document element's tree (itself included, in
    // document order) that carries "srsName"; empty when none does.
    std::string_view firstSrsCarrier;
    // The "member" and "featureMember" elements of the document element's tree that lie in no
    // other member, in document order; a member inside another one is read as part of it.
    std::vector<GmlMemberSpan> members;
    // The number of "member" and "featureMember" elements of the document element's tree, those
    // inside other members included: one feature at most is read from each.
    std::size_t memberElements = 0;

    // The outline of the text (which must outlive it); none when its markup is broken. Elements
    // after the document element are checked and otherwise ignored.
    static std::optional<GmlOutline> scan(std::string_view text);
};
