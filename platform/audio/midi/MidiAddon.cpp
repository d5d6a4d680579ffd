// libbassmidi.so: the MIDI add-on's place in the program folder.
//
// The program only checks that the library loads (so a MIDI URL is answered
// with the sound-font message instead of a missing add-on) and never calls it:
// MIDI is not decoded. So the library exports nothing; no entry point
// pretends to decode MIDI.
namespace {
[[maybe_unused]] constexpr int kNothingExported = 0;
}
