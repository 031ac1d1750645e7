// Opening, closing and stepping through the images of the file list.
#include <QProgressBar>
#include <QStackedWidget>

#include "app/main_form.h"
#include "components/float_edit.h"
#include "components/prg_status_bar.h"
#include "raster/raster.h"

bool TMainForm::OpenImage(const QString& path) {
    floatEditX_->SetValue(0);
    floatEditY_->SetValue(0);
    QProgressBar* progress = statusBar_->ProgressBar();
    // Whatever the load does, the lists come back and the cancel goes.
    struct Restore {
        TMainForm* form;
        QProgressBar* progress;
        ~Restore() {
            form->panel1_->setEnabled(true);
            form->action4090_->setEnabled(false);
            progress->hide();
        }
    } restore{this, progress};
    panel1_->setEnabled(false);
    action4090_->setEnabled(true);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->show();
    const bool loaded = raster_->LoadFromFile(path);
    ShowImageProperties(loaded);
    return loaded;
}

void TMainForm::Action1030Execute() {
    raster_->CloseImage();
    ShowImageProperties(false);
    floatEditX_->SetValue(0);
    floatEditY_->SetValue(0);
}

void TMainForm::Action4090Execute() { raster_->SetLoadCancel(true); }
