// Shared helpers of the test suite.
#pragma once

#include <string>
#include <vector>

#include "platform/testing.h"
#include "sim/simulator.h"

namespace testsupport {

// The operator's keyboard and mouse on a real widget: click into a field, select what it holds,
// type the keys (none: the field is emptied), then leave it with Tab, Enter, or (Stay) by whatever
// the test does next.
enum class Leave { Tab, Enter, Stay };
void TypeInto(int panel, int control, const std::string& keys, Leave leave);
// A click on a button, which takes the focus from the field being edited as a real click does.
void ClickOn(int panel, int control);
// Picks the item of this value in a list as a user does with the keyboard: Home, then Down.
void PickInList(int panel, int control, int value);

// The popup answer used unless a test installs its own: OK / yes, and a cancelled file dialog.
void InstallDefaultResponder();

// A fresh directory under the system's temporary directory, removed at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

// A file's whole content, "" when it cannot be read; and a text's lines, without their ends.
std::string ReadFile(const std::string& path);
std::vector<std::string> Lines(const std::string& text);

// The directory of the test executable, where the build copies the program's resources.
std::string ResourceDir();

// Bytes as hex digits, two to a byte without spaces, and back (spaces between bytes allowed).
std::string Hex(const std::vector<unsigned char>& bytes);
std::vector<unsigned char> FromHex(std::string hex);

// A program directory of the test's own: the panels and icons of the build, and a language file
// the test chooses. It is the program directory until destruction.
class ProgramDir {
  public:
    ProgramDir(); // with the shipped language.ini
    ~ProgramDir();
    const std::string& path() const { return dir_.path(); }
    void writeLanguage(const std::string& content) const;
    void removeLanguage() const;

  private:
    TempDir dir_;
};

// A settings file of the test's own until destruction (no remembered language, no fonts).
class ScopedSettings {
  public:
    ScopedSettings();
    ~ScopedSettings();

  private:
    TempDir dir_;
    std::string previous_;
};

// The simulator's network block made that of a balanced load (230 V, 150 A, power factor 0.9
// lagging) seen through wiring faults as rq55-sim --wiring names them ("ct_reversed:2"; "" wired right).
void WireNetwork(sim::Simulator& analyser, const std::string& faults);

} // namespace testsupport
