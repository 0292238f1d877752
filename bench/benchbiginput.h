#pragma once

// Big input a user picks: files of every kind loaded into the send area,
// and a send area of 3 Mi characters typed into, sent, switched and cleared.
// Each row gives the longest event-loop gap against its target, beside a
// bare QPlainTextEdit doing the same where the widget sets the bound.
void bigInputScenario();

// The longest paragraph a bare QPlainTextEdit takes, and a key typed into,
// within the gap target, by length.
void paragraphScenario();
