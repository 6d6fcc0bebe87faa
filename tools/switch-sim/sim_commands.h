// The commands that switch-sim takes while it runs, typed on its standard input or read from a
// script of timed actions, and that tests give through SwitchSim::Command. One command a line;
// empty lines and lines starting with '#' do nothing:
//
//   out-of-service PHONE | in-service PHONE   the phone's service state, told to its monitors
//   messages PHONE COUNT                      waiting messages (0: none), told to its monitors
//   dnd PHONE on|off                          do not disturb
//   forward PHONE all|busy|noanswer|outofservice [NUMBER]   forwarding; no NUMBER clears it
//   call PHONE OTHER [connected|alerting|held]  a call already in that state, told to PHONE only;
//                                             prints its number
//   incoming PHONE FROM|- [NAME...]           a call to the phone from another phone or an outside
//                                             number ('-': withheld), dialled and offered as any
//                                             call is (forwarding, do not disturb, busy); prints
//                                             its number
//   answer CALL [PARTY]                       the party (default: the one that rings) answers
//   hold CALL PARTY | retrieve CALL PARTY     the party holds the call or takes it back
//   hangup CALL [PARTY]                       the party hangs up; without one the whole call ends
//   outside NUMBER answer|noanswer|busy|unreachable   how an outside number takes calls (answer
//                                             after the answer delay, the default; ring for ever;
//                                             fail with EC_BUSY; fail with EC_OUT_OF_SERVICE)
//   answer-delay MS                           how long outside numbers ring before they answer
//   repeat CALL                               the last event told of the call sent again to
//                                             each monitor it was told to (the call may be over)
//   forget CALL                               the call ends without a word to any monitor, as
//                                             one that ends while their link is down
//   event PHONE CALL EVENT [related=CALL] [cause=CAUSE]   an event (CALL_CONNECTION_ name, e.g.
//                                             idled) of the call as it stands, told to PHONE's
//                                             monitors; CAUSE is a number
//   reply REQUEST normal|fail=CODE|events-first   how later requests of the type are answered:
//                                             as usual; with OMBIX_FAILURE_RSP carrying CODE,
//                                             not carried out; carried out with their call
//                                             events before the response. REQUEST: a request's
//                                             name (OMBIX_ and _REQ may be left out) or number
//   defer REQUEST                             the next request of the type waits, unanswered
//                                             and not carried out, until released
//   release [REQUEST]                         the waiting requests (of the type) are carried
//                                             out and answered, in arrival order
//   disconnect                                OMBIX_DISCONNECT to every client (the link drops)
//   silent on|off                             hear and say nothing (the link times out)
//   restart [MS]                              stop, stay down MS milliseconds, start again
//   login accept|refuse[=CODE]|ignore         how later logins are answered
//   status                                    the phones and the monitors
//   wait MS                                   pause the script
//   help                                      this list
#pragma once

#include <iosfwd>
#include <string>

class SwitchSim;

// The command list above, for --help and the help command.
extern const char kSimCommandHelp[];

// Reads commands from the stream until its end, printing each answer to out.
void RunSimCommands(SwitchSim& sim, std::istream& in, std::ostream& out);
