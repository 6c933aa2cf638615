#include "skin/standard_controls.h"

#include "skin/ax_host_control.h"
#include "skin/button_control.h"
#include "skin/check_control.h"
#include "skin/control_factory.h"
#include "skin/flash_control.h"
#include "skin/image_control.h"
#include "skin/native_control.h"
#include "skin/progress_control.h"
#include "skin/text_control.h"
#include "skin/textlink_control.h"

namespace qm::skin {

void RegisterStandardControls() {
    StandardControlCreators creators;
    creators.image = &CreateControlOf<ImageControl, kImageControlType>;
    creators.text = &CreateControlOf<TextControl, kTextControlType>;
    creators.button = &CreateControlOf<ButtonControl, kButtonControlType>;
    creators.checkbox = &CreateControlOf<CheckboxControl, kCheckboxControlType>;
    creators.radio = &CreateControlOf<RadioControl, kRadioControlType>;
    creators.progress = &CreateControlOf<ProgressControl, kProgressControlType>;
    creators.textlink = &CreateControlOf<TextlinkControl, kTextlinkControlType>;
    creators.edit = &CreateControlOf<EditControl, kEditControlType>;
    creators.rich_edit = &CreateControlOf<RichEditControl, kRichEditControlType>;
    creators.ax_host = &CreateControlOf<AxHostControl, kAxHostControlType>;
    creators.flash = &CreateControlOf<FlashControl, kFlashControlType>;
    InstallStandardControlCreators(creators);
    RegisterControlTypes();
}

}  // namespace qm::skin
