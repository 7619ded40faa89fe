#pragma once
// How each field of the OPTION word is coded, per scheme number: which bits it
// occupies, what the panel shows for each code, which choices the editor offers
// and what each choice writes. Scheme 0 (or a number not listed) means the
// field does not exist for the device: it is shown greyed.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/MainState.h"

// A field's scheme number as the selected device has it.
int OptionSchemeNumber(const MainState& state, OptionField field);

// Captions of a field: panel ("OSC Type:") and editor ("Oscillator Type").
// The field's default caption when the scheme names none.
std::string PanelCaption(OptionField field, int scheme);
std::string EditorCaption(OptionField field, int scheme);
bool FieldExists(OptionField field, int scheme);

struct FieldDecode {
  std::string text;  // "HF", "Blank", "Error"; "Blank" for a field that does not exist
  bool blank = false;
  bool error = false;
};
FieldDecode DecodeOptionField(OptionField field, int scheme, std::uint16_t word);

// Editor choice list of the field, in order ("Blank", "Disable", "Enable" when
// the field does not exist).
std::vector<std::string> EditorChoices(OptionField field, int scheme);
// Index of the choice that matches the field's code in word; 0 when none does.
int EditorSelection(OptionField field, int scheme, std::uint16_t word);
// word with the field's bits cleared and the code of choice index written.
// Unchanged for a field that does not exist or an index outside the list.
std::uint16_t ApplyEditorChoice(OptionField field, int scheme, int index, std::uint16_t word);

// Lines of the editor's help note.
std::span<const char* const> OptionHelpLines();

// Decodes the OPTION word into Panel.option and OptionErrors (no masking).
void DecodeOptionPanel(MainState& state);

// The panel refresh: device masks, decoding, then the checksums.
void RefreshData(MainState& state);
