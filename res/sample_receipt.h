// The sample receipt of the common tests, as data: no window layer needed.
#pragma once

// 2607 bytes and a terminating zero that is not sent.
constexpr unsigned kTestSample1Length = 2607;
extern const char testSample1[kTestSample1Length + 1];
