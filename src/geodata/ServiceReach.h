#pragma once
// Whether a service was reached: it gave the kind of answer that was asked for (which may well
// hold nothing), or it was not reached - no connection, a time-out, an error status, or an answer
// of another kind, such as a web page in place of a WFS answer - and then why, in the user's
// words. It lets a caller tell "the service answered: nothing is there" from "the service was
// never heard", which the user must never be told as the first.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct ServiceReach {
    bool reached = true;
    bool silent = false;  // not reached, and nothing answered at all (no connection, a time-out)
    std::string reason;   // why it was not reached: one Polish sentence; empty when reached

    // The reach of one answer: reached when the transfer succeeded with a 2xx status and the body
    // is of the kind asked for (asAsked). Otherwise the transport's message, the status, or what
    // came in place of the answer is the reason.
    static ServiceReach of(int status, std::string_view body, std::string_view transportError,
                           bool asAsked);
    // Not reached for the reason given (a full stop is added when it has none).
    static ServiceReach failed(std::string_view reason, bool silent = false);
};

// Whether a text is a web page, as gateways and overloaded services send with status 200 in place
// of data.
bool looksLikeWebPage(std::string_view body);

// Many requests to one service: it was reached as soon as one of them was; otherwise the reason
// is that of the last one. With nothing noted it counts as reached (nothing was asked).
class ReachTally {
public:
    void note(const ServiceReach& one);
    ServiceReach result() const;

private:
    bool anyReached_ = false;
    bool anyNoted_ = false;
    ServiceReach lastFailure_;
};

// The sheets of a listing that a stage asked for and did not get whole, by name: those that did
// not come or did not read, and those whose file is damaged and read only up to the damage.
struct SheetShortfall {
    std::vector<std::string> unusable;
    std::vector<std::string> damaged;
};

// The user's sentences about a service that was not reached, or reached only in part, never
// worded as an area without data; prefix names the stage or task (as "Teren: ").
namespace reachtext {

// "<prefix>usluga <service> nie odpowiada - <consequence>. Powod: <the reason>".
std::string unreachable(std::string_view prefix, std::string_view service,
                        std::string_view consequence, const ServiceReach& reach);

// A text from outside repeated to the user (as a page's message type), when longer than some 100
// bytes, cut at the last word's end within them, or where no word ends there (a blank at the
// start is no word's end) at the start of a character, with "...".
std::string shortened(std::string_view text);

// A service's own note as the user may read it: every character outside ASCII as '?', blanks and
// control characters run together into one space, and shortened.
std::string shortNote(std::string_view text);

// "<prefix>usluga <service> przerwala odpowiedz - dane moga byc niepelne. Uwaga uslugi: <note>":
// a service that answered with part of what was asked, and its own note on why (left out when
// empty), as shortNote gives it.
std::string answerCutShort(std::string_view prefix, std::string_view service,
                           std::string_view note);

// The same for a sheet index ("NMT", "NMPT", "LiDAR") of the national geoportal.
std::string indexUnreachable(std::string_view prefix, std::string_view index,
                             const ServiceReach& reach);

// The same for one year of such an index that could not be read, when the sheets of an older
// year were used (usedYear; 0 when no older year lists any for the area).
std::string indexYearUnreachable(std::string_view prefix, std::string_view index, int year,
                                 int usedYear, const ServiceReach& reach);

// The same for the LiDAR sheet files, none of which came.
std::string lidarFilesUnreachable(std::string_view prefix, const ServiceReach& reach);

// What a stage says of the sheet index ("NMT", "NMPT", "LiDAR") of its frame when it could not
// be read to its end and only the sheets listed are used.
std::string indexIncomplete(std::string_view prefix, std::string_view index, std::size_t listed);

// "<prefix>pominieto 2 kafle nie do uzycia (A, B).": the sheets left out of what a stage built.
std::string sheetsLeftOut(std::string_view prefix, const std::vector<std::string>& names);

// The sentences of a shortfall, the sheets left out first; none when there is none.
std::vector<std::string> shortfall(std::string_view prefix, const SheetShortfall& sheets);

}  // namespace reachtext
