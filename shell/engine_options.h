// The engine's settings as both protocols offer them: one table of options
// (name, kind, range, current value, how to change it) that the UCI "uci"
// answer and "setoption", and xboard's "feature option=..." lines and
// "option NAME=VALUE", all read. A setting added here is offered by both.
#pragma once

enum class OptionKind { Spin, Check, Text, Button };

struct EngineOption {
    const char* name;
    OptionKind kind;
    long low, high;            // a Spin's range
    bool uciOnly, xboardOnly;  // offered by one protocol only
    // The current value, written out ("16", "true", "<empty>" for no text).
    void (*current)(char* text, int size);
    // Changes the setting to `value` (already checked against the kind and
    // range); a Button's value is empty. Prints what it has to say.
    void (*change)(const char* value);
};

// The options in the order they are announced.
int engineOptionCount();
const EngineOption& engineOption(int index);
// The option named `name` (without regard to case), or null.
const EngineOption* findEngineOption(const char* name);

// The UCI "option name ..." lines.
void printUciOptions();
// The xboard "feature option=..." lines, one per option.
void printXboardOptions();

// Checks `value` against the option and changes it. On a bad value says
// so in the protocol's way and changes nothing; false then.
bool setEngineOption(const EngineOption& option, const char* value);
// An option the engine does not have, in the protocol's way.
void reportUnknownOption(const char* name);
