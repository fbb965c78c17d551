// Makes dialog templates' edit and trackbar controls into the toolkit's edit fields and
// sliders. Called once at start-up, before the first dialog is built.
#pragma once

void RegisterToolkitControls();
