// The program's windows and its engine: made at start-up in a fixed order,
// reached through their global names (frmMain, frmWelcome, frmEndInstall,
// dmUpdateCommon, frmDisplayFile), and undone at exit.
//
// What this promises when things go wrong: a failure while one of them is
// made is shown in the error box (the silent abort without one) and its name
// stays null; start-up goes on with the next, so the program runs with what
// could be made, and without a main window it has nothing to show and ends.
#pragma once

#include <functional>

namespace kelvaro {

class TfrmMain;
class TfrmWelcome;
class TfrmEndInstall;
class TdmUpdateCommon;
class TfrmDisplayFile;

// How each one is made; the program uses the plain constructors.
struct ProgramWindowMakers {
  std::function<TfrmMain*()> main;
  std::function<TfrmWelcome*()> welcome;
  std::function<TfrmEndInstall*()> endInstall;
  std::function<TdmUpdateCommon*()> engine;
  std::function<TfrmDisplayFile*()> displayFile;
};
ProgramWindowMakers DefaultWindowMakers();

// Makes them in the order main window, welcome page, report page, engine,
// list-of-changes page: each one's creation sees the ones before it.
void CreateProgramWindows(const ProgramWindowMakers& makers = DefaultWindowMakers());
// Destroys them, the pages first (the window holds the current one in its
// page area), and sets every name back to null.
void DestroyProgramWindows();

}  // namespace kelvaro
