#pragma once
// Field builder: free functions that add parameter rows to a container, for parameter forms.
class QObject;
class QString;
class QWidget;
class HAbstractParametr;
class PrField;

void setFieldContainer(QWidget* widget);
// member is a signal/slot signature as made by SLOT() or SIGNAL().
void setFieldReceiver(QObject* object, const char* member);
void resetFieldReceiver();

PrField* addField(HAbstractParametr* parametr);
PrField* addField(HAbstractParametr* parametr, int id);
PrField* addPairField(const QString& caption, HAbstractParametr* first, HAbstractParametr* second);
PrField* addPairField(const QString& caption, HAbstractParametr* first, HAbstractParametr* second,
                      int id);

void updateParametrFields(QWidget* widget);

QWidget* newVSpacer(QWidget* parent);
QWidget* newHSpacer(QWidget* parent);
QWidget* newSpacer(QWidget* parent);
