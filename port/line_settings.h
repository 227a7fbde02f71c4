// The serial line's settings in words, read into and written from a DCB, in
// the two forms a person types them:
//
//   keyed, one word a key, as serial.conf holds them
//     baud=19200  data=7  parity=even  stop=2  flow=rts-cts
//     parity: none odd even mark space; stop: 1 1.5 2; flow: none, rts-cts,
//     xon-xoff, or cts, dsr (watched before sending, without handshakes),
//     several joined by commas
//   comma, as mptest-cli --serial takes them and `mptest-cli ports` shows them
//     19200,7,E,2,rts-cts
//     parity: N E O M S (either case); stop: 1 1.5 2; flow: none rts-cts xon-xoff
//
// Flow is read in either spelling (rts-cts or hardware, xon-xoff or xonxoff)
// and written in the first. rts-cts is the port settings dialog's 硬件: CTS
// and DSR watched, RTS and DTR driven as handshakes. Whether a line can run
// at a speed is the caller's to say: here a speed is any whole number a DCB
// holds. Reading changes only the fields the words name, and nothing when a
// word is refused.
#pragma once

#include "platform/win32.h"

#include <array>
#include <cstddef>
#include <string>

enum LineKey : size_t { LINE_BAUD, LINE_DATA, LINE_PARITY, LINE_STOP, LINE_FLOW };
// The keys, in the order the store writes them (indexed by LineKey).
inline constexpr std::array<const char*, 5> kLineKeys{"baud", "data", "parity", "stop", "flow"};

// A DCB's settings as the keyed form's words, indexed by LineKey. A parity or
// stop setting with no word is written as its number (which reads back as
// refused).
std::array<std::string, 5> KeyedLineSettings(const DCB& dcb);
// Reads one key's word into `dcb`; false (dcb unchanged) when the key takes
// no such word.
bool ReadKeyedLineSetting(LineKey key, const std::string& word, DCB& dcb);

// A DCB's settings in the comma form. Flow is the one of the three the DCB
// comes nearest: rts-cts when it watches CTS and DSR, else xon-xoff when it
// sends or takes Xon/Xoff, else none.
std::string CommaLineSettings(const DCB& dcb);
// Reads the comma form's five fields into `dcb`; false (dcb unchanged) when
// there are not five or any is refused.
bool ReadCommaLineSettings(const std::string& text, DCB& dcb);
