#pragma once

#include <QString>

#include <cstdint>

class QKeyEvent;

// How the windows name keys and the drums they play, in Italian.
namespace KeyWords {

// A key of the pattern field (an upper-case Windows-1252 code): its
// character, the space named «spazio» rather than shown as a blank.
QString ofKey(std::uint8_t key);

// A key pressed, for a sentence: «x» for a character, the key's name in
// words for the others ("Invio", "Tab", "Backspace"...).
QString ofPress(const QKeyEvent &event);

// What a key plays, as a drummer says it: "cassa (V)" for a drum key, else
// "tasto «A»".
QString sound(std::uint8_t key);

} // namespace KeyWords
