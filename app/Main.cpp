#include "app/KelvaneFwUpgradeLauncher.h"

START_JUCE_APPLICATION (KelvaneFwUpgradeLauncher)
