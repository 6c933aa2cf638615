#pragma once
// Process-wide start-up and shutdown of the skin library, once each, on the
// main thread around the program's run.

void InitializeSkin();
void ShutdownSkin();
