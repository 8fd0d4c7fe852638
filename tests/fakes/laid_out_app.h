#pragma once

#include <string>
#include <vector>

#include "fakes/app_harness.h"
#include "ui/layout.h"

namespace cloakwise::fakes {

// The program on fakes with its window's layout, whose frame actions are
// recorded by name in the order they ran.
struct LaidOutApp : AppHarness {
  std::vector<std::string> actions;
  ui::Layout layout{app.form, ui::FrameActions{
                                  [this] { actions.push_back("hide"); },
                                  [this] { actions.push_back("menu"); },
                                  [this] { actions.push_back("vendor"); },
                                  [this] { actions.push_back("drag"); },
                                  [this](ui::View v) { app.ShowView(v); },
                              }};
  ui::MainForm& form = app.form;
};

}  // namespace cloakwise::fakes
