// The bytes of the built-in test prints, from plain parameters: the test
// dialog's pages and mptest-cli's test jobs send exactly these.
#pragma once

#include "platform/win32.h"

#include <string>

// Latin print modes (ESC !) and Chinese print modes (FS !).
constexpr BYTE kLatinDoubleWidth = 0x20;
constexpr BYTE kLatinDoubleHeight = 0x10;
constexpr BYTE kLatinUnderline = 0x80;
constexpr BYTE kLatinFont7x9 = 0x01;
constexpr BYTE kGbkDoubleWidth = 0x04;
constexpr BYTE kGbkDoubleHeight = 0x08;
constexpr BYTE kGbkUnderline = 0x80;
constexpr int kGbkZoneCount = 5;
// The zones' names as the Chinese page lists them, "1区" … "5区".
const char* GbkZoneName(int zone);

enum class LatinPattern { Letters, H, I, None };
// `modes` holds the ESC ! bits, kLatinFont7x9 among them for the 7x9 font.
std::string LatinTestBytes(BYTE modes, LatinPattern pattern);
// `zone` 0..4; any other index sends the frame without a sample.
std::string GbkTestBytes(BYTE modes, int zone);

// Black-mark operations: 0 the test line (with the cut after it when `cut`),
// 1 and 2 black-mark mode on and off, 3..5 distances A, B and C, each read
// from `distance` as the page reads its edit box (at most
// BlackMarkDistanceChars(operation) characters of it).
std::string BlackMarkBytes(int operation, bool cut, const char* distance);
int BlackMarkDistanceChars(int operation);
// Reads a distance as atoi does (white space, sign, digits), saturating at
// the limits of int instead of overflowing.
int ReadDecimal(const char* text);
// 0.176 mm motion units for `mm` plus `offsetMm`, truncated toward zero,
// as the 16 bits the printer takes.
WORD DistanceUnits(int mm, int offsetMm);

// Carriage, paper feed, pins (0..2) for the current test; empty for any
// other index.
std::string DianliuBytes(int which);
// Five bands of 210 black columns.
std::string BlackImgBytes();
// The sample receipt.
std::string DotsBytes();
// Drawer 0 or 1 (pin 2 or pin 5) with its fixed pulse.
std::string CasherBytes(int drawer);
std::string CutterBytes(int full);
std::string CutterSwBytes(int on);
// The printer's serial speed by the baud combo's index (FF: nothing chosen).
std::string SetComBytes(BYTE index);

// The USB string check: the fixed six-byte string stored in the printer,
// and the request that reads the stored string back (its answer is
// kUsbStringLength bytes).
constexpr DWORD kUsbStringLength = 6;
std::string UsbStringWriteBytes();
std::string UsbStringReadBytes();
// The string UsbStringWriteBytes stores.
extern const char kUsbStoredString[];
