#include "name_tables.h"

#include <initializer_list>

namespace sonivex {

namespace {

struct KeyRow {
    const char* name;
    int direction;
    std::initializer_list<int> altered;  // pitch classes of the notes the signature alters
};

// The 24 keys with accidentals; each minor key has the row of the major key with the same signature.
const KeyRow kKeys[] = {
    {"A", +1, {7, 5, 0}},           {"B", +1, {7, 5, 2, 0, 9}},       {"D", +1, {5, 0}},
    {"E", +1, {7, 5, 2, 0}},        {"F", -1, {11}},                  {"G", +1, {5}},
    {"AB", -1, {4, 2, 11, 9}},      {"BB", -1, {4, 11}},              {"C#", +1, {7, 5, 4, 2, 0, 11, 9}},
    {"DB", -1, {4, 2, 11, 9, 7}},   {"EB", -1, {4, 11, 9}},           {"F#", +1, {7, 5, 4, 2, 0, 9}},
    {"GB", -1, {4, 2, 0, 11, 9, 7}}, {"BM", +1, {5, 0}},              {"CM", -1, {4, 11, 9}},
    {"DM", -1, {11}},               {"EM", +1, {5}},                  {"FM", -1, {4, 2, 11, 9}},
    {"GM", -1, {4, 11}},            {"BBM", -1, {4, 2, 11, 9, 7}},    {"C#M", +1, {7, 5, 2, 0}},
    {"D#M", +1, {7, 5, 4, 2, 0, 9}}, {"F#M", +1, {7, 5, 0}},          {"G#M", +1, {7, 5, 2, 0, 9}},
};

const char* const kNoteNames[] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};

const char* const kDrumKits[] = {"Standard", "Room", "Power", "Electronic", "TR - 808",
                                 "Jazz",     "Brush", "Orchestra", "unknown"};

struct ControllerRow {
    int number;
    const char* name;
};

// Ends with the mark -1; controller 26, not 38, carries the second "data entry".
const ControllerRow kControllers[] = {
    {1, "modulation"},   {5, "portamento time"}, {6, "data entry"},     {7, "volume"},
    {10, "panpot"},      {11, "expression"},     {26, "data entry"},    {64, "hold 1"},
    {65, "portamento"},  {66, "sostenuto"},      {67, "soft"},          {91, "effect 1 depth"},
    {92, "effect 2 depth"}, {93, "effect 3 depth"}, {120, "all sounds off"}, {121, "reset all controllers"},
    {123, "all notes off"}, {124, "omni off"},   {125, "omni on"},      {126, "mono"},
    {127, "poly"},       {-1, "0"},
};

}  // namespace

void FillNameTables(NameTables& t) {
    int k = 1;
    for (const KeyRow& key : kKeys) {
        t.KeyNames[k] = key.name;
        t.KeyAccidentals(k, 1) = static_cast<int>(key.altered.size()) - 1;
        t.KeyAccidentals(k, 2) = key.direction;
        int column = 3;
        for (int pitch : key.altered) t.KeyAccidentals(k, column++) = pitch;
        ++k;
    }
    for (int i = 0; i < 12; ++i) t.NoteNames[i + 1] = kNoteNames[i];
    for (int i = 0; i < 9; ++i) t.DrumKitNames[i + 1] = kDrumKits[i];
    int i = 1;
    for (const ControllerRow& c : kControllers) {
        t.ControllerNumbers[i] = c.number;
        t.ControllerNames[i] = c.name;
        ++i;
    }
}

}  // namespace sonivex
