// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every detail page is made of: the verdict line on top, then a form of
// labelled values or a table. A page can lay itself out for print (tables at
// full length, no scroll bars) and name where a printed page may break.
#include "browser/DriveEntry.h"

#include <QLabel>
#include <QTableView>
#include <QWidget>

class QFormLayout;
class QScrollArea;
class QStandardItemModel;
class QVBoxLayout;

namespace corvane::app {

// The failure colour of the palette's appearance (red with 4.5:1 contrast).
QColor failureColor(const QPalette &palette);

// Large health symbol, the health word and, when not "Passed", why.
class VerdictLine : public QWidget
{
    Q_OBJECT
public:
    explicit VerdictLine(QWidget *parent = nullptr);
    void setDrive(const DriveEntry &entry);
    QString word() const { return _word->text(); }
    QString reason() const { return _reason->text(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *_symbol;
    QLabel *_word;
    QLabel *_reason;
    QString _health;
};

// The health verdict's one-sentence reason ("" for "Passed").
QString verdictReason(const DriveEntry &entry);

// A table of text cells; rows can carry a failure mark (colour + tooltip).
class DataTable : public QTableView
{
    Q_OBJECT
public:
    explicit DataTable(QWidget *parent = nullptr);
    void setColumns(const QStringList &headings);
    void clearRows();
    // `why` non-empty marks the row failing.
    void addRow(const QStringList &cells, const QString &why = QString());
    int rows() const;
    QString cellText(int row, int column) const;
    // Print layout: every row shown, no scroll bars; height fits all rows.
    void setPrintLayout(bool on);
    void copySelection() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QStandardItemModel *_model;
};

class SelfTestPanel;

class DrivePage : public QWidget
{
    Q_OBJECT
public:
    DrivePage(const QString &title, int tag, QWidget *parent = nullptr);
    QString title() const { return _title; }
    int tag() const { return _tag; }
    virtual void setDrive(const DriveEntry &entry);
    // Full-length layout for the report.
    virtual void setPrintLayout(bool on);
    // Heights (in page coordinates) where a printed page may end; empty when
    // any height will do.
    virtual QList<int> breakPoints() const { return {}; }
    VerdictLine *verdict() const { return _verdict; }

protected:
    // The layout under the verdict line.
    QVBoxLayout *body() const { return _body; }
    // Breaks before every row of a table placed in this page.
    QList<int> tableBreaks(const DataTable *table) const;
    // The drive's offered self-tests into `offers`, and the one set of
    // self-test controls moved onto this page (whichever page shows the drive
    // holds them).
    void showSelfTestOffers(const DriveEntry &entry, QLabel *offers, SelfTestPanel *panel);

private:
    QString _title;
    int _tag;
    VerdictLine *_verdict;
    QVBoxLayout *_body;
};

// A page of labelled values in a scroll area.
class FormPage : public DrivePage
{
    Q_OBJECT
public:
    FormPage(const QString &title, int tag, QWidget *parent = nullptr);
    void setPrintLayout(bool on) override;

protected:
    void clearForm();
    // A section heading, then rows.
    void heading(const QString &text);
    // A row; `bad` paints the value in the failure colour.
    QLabel *row(const QString &label, const QString &value, bool bad = false);
    // A row per counter that grew lately ("Reallocated sectors: 63, +8 in the
    // last 7 days"), failing for error counters.
    void growthRows(const DriveEntry &entry);
    QFormLayout *form() const { return _form; }
    QWidget *formContainer() const { return _container; }

private:
    QScrollArea *_scroll;
    QWidget *_container;
    QFormLayout *_form;
};

// A page that is one table (with an optional note above it).
class TablePage : public DrivePage
{
    Q_OBJECT
public:
    TablePage(const QString &title, int tag, QWidget *parent = nullptr);
    DataTable *table() const { return _table; }
    QLabel *note() const { return _note; }
    QList<int> breakPoints() const override { return tableBreaks(_table); }
    void setPrintLayout(bool on) override;

private:
    QLabel *_note;
    DataTable *_table;
};

// Shared: "key" of a map as text through blankLineXfmr.
QString text(const QVariantMap &m, const char *key);
// "Internal PCI-Express": where the drive sits and how it is connected.
QString locationText(const QVariantMap &m);

} // namespace corvane::app
