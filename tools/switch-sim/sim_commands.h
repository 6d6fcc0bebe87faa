// The commands that switch-sim takes while it runs, typed on its standard input or read from a
// script of timed actions, and that tests give through SwitchSim::Command. One command a line;
// empty lines and lines starting with '#' do nothing:
//
//   out-of-service PHONE | in-service PHONE   the phone's service state, told to its monitors
//   messages PHONE COUNT                      waiting messages (0: none), told to its monitors
//   dnd PHONE on|off                          do not disturb
//   forward PHONE all|busy|noanswer|outofservice [NUMBER]   forwarding; no NUMBER clears it
//   call PHONE OTHER [connected|alerting|held]              a call on the phone; prints its number
//   hangup CALL                               the call ends
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
