#pragma once

// Big input a user picks: files of every kind loaded into the send area (a
// big load undone and redone, a line too long refused), and send areas of
// 3 Mi and 85 Ki characters typed into, sent, switched and cleared.
// Each row gives the longest event-loop gap against its target, beside a
// bare QPlainTextEdit doing the same where the widget sets the bound.
void bigInputScenario();

// The longest paragraph a bare QPlainTextEdit takes, and a key typed into,
// within the gap target, by length.
void paragraphScenario();
