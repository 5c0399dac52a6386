#include "shell/htabwidget.h"

HTabWidget::HTabWidget(QWidget* parent) : QTabWidget(parent) {}
