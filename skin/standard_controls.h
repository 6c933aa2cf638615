// Registration of the standard controls (image, text, button, check box,
// radio option, progress bar, link, edit boxes, web page panel) with the
// control factory. Windows only.
#pragma once

namespace qm::skin {

// Hands the standard controls' creators to the factory and registers every
// type the library has (RegisterControlTypes). Called by InitializeSkin;
// calling it again changes nothing.
void RegisterStandardControls();

}  // namespace qm::skin
