#pragma once
// TabVNC: the "Управление" page, holding the remote screen view.
#include "shell/tab.h"

class DisplayFrame;

class TabVNC : public Tab
{
    Q_OBJECT
public:
    explicit TabVNC(QWidget* parent = nullptr);
    ~TabVNC() override;
    static TabVNC* instance();

    DisplayFrame* displayFrame() const { return view; }

private:
    DisplayFrame* view;
    static TabVNC* self;
};
