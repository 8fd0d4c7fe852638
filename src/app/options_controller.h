#pragma once

#include <cstdint>
#include <functional>

#include "app/desktop_integration.h"
#include "core/settings_store.h"
#include "ui/main_form.h"
#include "ui/message_box.h"

namespace cloakwise {

// The options: each one is written to options.ini the moment its control
// changes, and "SAVE" only confirms. Also writes the clean-up task boxes,
// which are options of the same kind.
//
// User-interface thread only.
class OptionsController {
 public:
  // scheduleRotation restarts the rotation's ticks at the interval given;
  // firefoxOptionChanged runs once "Change Firefox proxy" is stored.
  OptionsController(ui::OptionsView& options, DesktopIntegration& desktop,
                    ui::MessageBoxForm& messageBox,
                    SettingsStore& settings,
                    std::function<void(std::uint32_t intervalMs)> scheduleRotation,
                    std::function<void()> firefoxOptionChanged);

  // Puts every stored option into its control. Each assignment that changes
  // a control runs its handler, which writes the value back, exactly as a
  // user's change would.
  void ApplyStoredOptions();
  // Without Firefox profiles "Change Firefox proxy" can do nothing: each
  // time the view is shown it is then greyed out and stored as off.
  // Nothing turns it on again while the program runs.
  void ViewShown();

  void OnRunAtStartupChanged();
  void OnRotateEveryChanged();
  void OnFirefoxOptionChanged();
  void OnRotationMinutesChanged();
  void OnSpeedChanged();
  void OnSecurityChanged();
  void OnCleanAtStartupChanged();
  void ConfirmSaved();

 private:
  void Wire();

  ui::OptionsView& options_;
  DesktopIntegration& desktop_;
  ui::MessageBoxForm& messageBox_;
  SettingsStore& settings_;
  std::function<void(std::uint32_t)> scheduleRotation_;
  std::function<void()> firefoxOptionChanged_;
};

}  // namespace cloakwise
