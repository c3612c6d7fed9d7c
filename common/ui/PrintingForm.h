#pragma once

#include "Windows.h"

#include <QDialog>

class QLabel;

namespace sonavel {

// The small window that stays up while a text is printed. One per program:
// unloading hides it and puts the designed caption back, so the next load
// starts as a fresh window would.
class PrintingForm final : public QDialog, public PrintingWindow {
    Q_OBJECT
  public:
    explicit PrintingForm(QWidget* parent = nullptr);

    void Load() override;
    void SetCaption(const QString& caption) override;
    void Unload() override;

  protected:
    void done(int result) override;

  private:
    QLabel* m_label = nullptr;
};

}  // namespace sonavel
