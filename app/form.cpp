#include "form.h"

namespace sonivex {

FormModel::FormModel() {
    for (Control* c : {static_cast<Control*>(&Combo1), static_cast<Control*>(&Command1),
                       static_cast<Control*>(&Combo2), static_cast<Control*>(&Combo3),
                       static_cast<Control*>(&Combo4), static_cast<Control*>(&Command2),
                       static_cast<Control*>(&Combo5), static_cast<Control*>(&Command3),
                       static_cast<Control*>(&Combo6), static_cast<Control*>(&Command4),
                       static_cast<Control*>(&Text1), static_cast<Control*>(&Option1),
                       static_cast<Control*>(&Combo7), static_cast<Control*>(&Option2),
                       static_cast<Control*>(&Text2), static_cast<Control*>(&Combo9),
                       static_cast<Control*>(&Check6), static_cast<Control*>(&Check5),
                       static_cast<Control*>(&Combo10), &mnuSave, &SaveButton, &mnuPlay, &mnuPause, &mnuStop, &PlayButton,
                       &PauseButton, &StopButton, &mnuUndo, &mnuRedo, &UndoButton, &RedoButton,
                       &mnuExportAudio, &mnuSaveAs, &mnuTranspose, &mnuTempo}) {
        c->enabled = false;
    }
    Check1.ticked = true;
    Check3.ticked = true;
    Check4.ticked = true;
    Check6.ticked = true;
    Option1.selected = true;
    Text1.text = "2";
    Text2.text = "0";
}

}  // namespace sonivex
