#include "app/options_controller.h"

#include <algorithm>
#include <cstdint>

#include "core/option_keys.h"

namespace cloakwise {
namespace {

// The stored probe time-out is the speed slider's position plus this.
constexpr int kSpeedSliderOffset = 5;

// Minutes to a timer interval. A typed value may be anything until the field
// loses the focus; nothing below a minute runs, and nothing beyond what a
// Windows timer accepts.
std::uint32_t MinutesToInterval(int minutes) {
  if (minutes <= 0) return 0;
  const std::int64_t ms = std::int64_t{minutes} * 60000;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, 0x7FFFFFFF));
}

}  // namespace

OptionsController::OptionsController(ui::OptionsView& options, DesktopIntegration& desktop,
                                     ui::MessageBoxForm& messageBox, SettingsStore& settings,
                                     std::function<void(std::uint32_t)> scheduleRotation,
                                     std::function<void()> firefoxOptionChanged)
    : options_(options),
      desktop_(desktop),
      messageBox_(messageBox),
      settings_(settings),
      scheduleRotation_(std::move(scheduleRotation)),
      firefoxOptionChanged_(std::move(firefoxOptionChanged)) {
  Wire();
}

void OptionsController::Wire() {
  ui::OptionsView& options = options_;
  options.runAtStartupBox.onChange = [this] { OnRunAtStartupChanged(); };
  options.rotateEveryBox.onChange = [this] { OnRotateEveryChanged(); };
  options.firefoxBox.onChange = [this] { OnFirefoxOptionChanged(); };
  options.rotationMinutesField.onChange = [this] { OnRotationMinutesChanged(); };
  options.speedSlider.onChange = [this] { OnSpeedChanged(); };
  options.securitySlider.onChange = [this] { OnSecurityChanged(); };
  options.cleanAtStartupBox.onChange = [this] { OnCleanAtStartupChanged(); };
  options.saveButton.onClick = [this] { ConfirmSaved(); };
  options.securityHelpButton.onClick = [this] { desktop_.OpenOptionsHelp(); };
  options.speedHelpButton.onClick = [this] { desktop_.OpenOptionsHelp(); };
}

void OptionsController::ViewShown() {
  if (desktop_.HasFirefoxProfiles()) return;
  options_.firefoxCaption.SetEnabled(false);
  options_.firefoxBox.SetChecked(false);
  options_.firefoxBox.SetEnabled(false);
}

void OptionsController::ApplyStoredOptions() {
  SettingsStore& store = settings_;
  ui::OptionsView& options = options_;
  options.runAtStartupBox.SetChecked(store.ReadBool(kOptionsSection, kKeyRunAtStartup, false));
  options.firefoxBox.SetChecked(store.ReadBool(kOptionsSection, kKeyFirefox, false));
  options.rotationMinutesField.SetValue(
      store.ReadInteger(kOptionsSection, kKeyRotationMinutes, 10));
  options.securitySlider.SetPosition(store.ReadInteger(kOptionsSection, kKeyMinimumAnonymity, 1));
  // In 64 bits: a stored minimum integer less the offset must not wrap around.
  const std::int64_t speed =
      std::int64_t{store.ReadInteger(kOptionsSection, kKeyProbeTimeoutSeconds, 9)} -
      kSpeedSliderOffset;
  if (speed >= options.speedSlider.Min() && speed <= options.speedSlider.Max()) {
    options.speedSlider.SetPosition(static_cast<int>(speed));
  }
  options.rotateEveryBox.SetChecked(store.ReadBool(kOptionsSection, kKeyRotateEvery, false));

  scheduleRotation_(MinutesToInterval(options.rotationMinutesField.Value()));

  options.cleanAtStartupBox.SetChecked(store.ReadBool(kOptionsSection, kKeyCleanAtStartup, false));
}

void OptionsController::OnRunAtStartupChanged() {
  const bool run = options_.runAtStartupBox.Checked();
  settings_.WriteBool(kOptionsSection, kKeyRunAtStartup, run);
  desktop_.SetRunAtStartup(run);
}

void OptionsController::OnRotateEveryChanged() {
  settings_.WriteBool(kOptionsSection, kKeyRotateEvery, options_.rotateEveryBox.Checked());
}

void OptionsController::OnFirefoxOptionChanged() {
  settings_.WriteBool(kOptionsSection, kKeyFirefox, options_.firefoxBox.Checked());
  firefoxOptionChanged_();
}

void OptionsController::OnRotationMinutesChanged() {
  settings_.WriteInteger(kOptionsSection, kKeyRotationMinutes,
                         options_.rotationMinutesField.Value());
  scheduleRotation_(MinutesToInterval(options_.rotationMinutesField.Value()));
}

void OptionsController::OnSpeedChanged() {
  settings_.WriteInteger(kOptionsSection, kKeyProbeTimeoutSeconds,
                         options_.speedSlider.Position() + kSpeedSliderOffset);
}

void OptionsController::OnSecurityChanged() {
  settings_.WriteInteger(kOptionsSection, kKeyMinimumAnonymity,
                         options_.securitySlider.Position());
}

void OptionsController::OnCleanAtStartupChanged() {
  settings_.WriteBool(kOptionsSection, kKeyCleanAtStartup,
                      options_.cleanAtStartupBox.Checked());
}

void OptionsController::ConfirmSaved() {
  messageBox_.ShowMessageBox("Options", "Saved!");
}

}  // namespace cloakwise
