// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class Form1;

// The four interval buttons: ">" and ">>" up one and ten seconds, "<" and
// "<<" down. The interval never falls below one second, and never rises
// beyond the longest period a timer accepts (2147483 seconds).
void stepIntervalUpOne(Form1& form);
void stepIntervalUpTen(Form1& form);
void stepIntervalDownOne(Form1& form);
void stepIntervalDownTen(Form1& form);

// The two guard timers of "<<", ten times a second: off at exactly ten
// seconds, on at exactly eleven.
void guardIntervalAtTenSeconds(Form1& form);
void guardIntervalAtElevenSeconds(Form1& form);
