#pragma once
// Scripted mode of terraweft-host: one JSON command per line in, one JSON line per event out.
//
// Commands:
//   {"cmd":"menu","menu":32500,"item":1}          the user picks a menu item
//   {"cmd":"palette","palette":"map","message":6} the host sends a palette message (7 answers
//                                                 {"palette":"map","visible":true|false})
//   {"cmd":"post","palette":"map","text":"..."}   the page calls GIS.postMessage(text)
//   {"cmd":"pump","ms":200}                       the main loop runs posted tasks for ms
//   {"cmd":"pump","ms":9000,"until":"fetchDone"}  ... or until a page receives a message of
//                                                 that type, whichever comes first
//   {"cmd":"projectEvent","event":64}             the host reports a project event
//   {"cmd":"dump"}                                {"project":{...}}: layers, elements,
//                                                 geo-location, selection (element positions),
//                                                 undo depth
//   {"cmd":"addPolyline","points":[[x,y],...],"layer":1,"floor":0,"arcs":[[beg,end,angle]]}
//   {"cmd":"addText","loc":[x,y],"text":"...","layer":1,"floor":0}
//                                                 add an element to the project (layer, floor
//                                                 and arcs optional; arc ends 1-based)
//   {"cmd":"select","elements":[0,2]}             selects elements by their position in the dump
//   {"cmd":"answers","buttons":[1,2]}             the user's answers to the next alerts
//   {"cmd":"undo"}                                the user undoes the last command
// Events:
//   {"palette":"map","js":"GISBridge.receive(...);"}  every script run in a page
//   {"report":"..."}                                  every line of the report window
//   {"alert":{"kind":...,"text":...,"small":...,"buttons":[...],"answer":n}}  every alert shown
//                                                 (with "title" and "type" when it has a title)
//   {"error":"..."}                                   a command that could not be carried out

#include <istream>
#include <string>

#include "HostTestApi.h"

namespace twhost {

// Loads the add-on, runs the commands read from `in` and then the tasks left over; 0, or 1 when
// the add-on did not load.
int runScript(std::istream& in);

// Carries out one line of commands (a blank one does nothing); a command that cannot be carried
// out is an error event. The add-on must be loaded.
void runLine(const std::string& line);

// The alert event of an alert, as one line of JSON.
std::string alertLine(const host::AlertRecord& alert);

}  // namespace twhost
