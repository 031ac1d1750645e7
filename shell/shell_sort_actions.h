#pragma once

#include "shell/shell_action.h"
#include "shell/shell_file_list.h"

class TSHListView;

// Sort commands on the file list. Sorting keeps the selection and the
// focused entry. The bare command is enabled on any list it may target;
// the owner gives it its effect.
class TSHFileSortAction : public TSHAction {
public:
    explicit TSHFileSortAction(QObject* parent = nullptr);

    bool HandlesTarget(QObject* Target) override;
    void UpdateTarget(QObject* Target) override;
    void ExecuteTarget(QObject* Target) override;

protected:
    virtual bool EnabledOn(TSHListView&) { return true; }
    virtual bool CheckedOn(TSHListView&) { return false; }
    virtual void ExecuteOn(TSHListView&) {}
};

// Sorts by one column in the direction that column keeps for itself;
// checked while the list sorts by it. Every column but the name needs a
// folder of the file system.
class TSHFileSortByColumn : public TSHFileSortAction {
protected:
    TSHFileSortByColumn(QObject* parent, THeaderCaption column);

    bool EnabledOn(TSHListView& list) override;
    bool CheckedOn(TSHListView& list) override;
    void ExecuteOn(TSHListView& list) override;

private:
    THeaderCaption column_;
};

class TSHFileSortByName : public TSHFileSortByColumn {
public:
    explicit TSHFileSortByName(QObject* parent = nullptr);
};

class TSHFileSortBySize : public TSHFileSortByColumn {
public:
    explicit TSHFileSortBySize(QObject* parent = nullptr);
};

class TSHFileSortByType : public TSHFileSortByColumn {
public:
    explicit TSHFileSortByType(QObject* parent = nullptr);
};

class TSHFileSortByLastWrite : public TSHFileSortByColumn {
public:
    explicit TSHFileSortByLastWrite(QObject* parent = nullptr);
};

class TSHFileSortByAttr : public TSHFileSortByColumn {
public:
    explicit TSHFileSortByAttr(QObject* parent = nullptr);
};

// Sets the direction of the current sort column (+1 ascending, -1
// descending); checked while that column sorts that way.
class TSHFileSortDirection : public TSHFileSortAction {
protected:
    TSHFileSortDirection(QObject* parent, int direction);

    bool EnabledOn(TSHListView& list) override;
    bool CheckedOn(TSHListView& list) override;
    void ExecuteOn(TSHListView& list) override;

private:
    int direction_;
};

class TSHFileAscSort : public TSHFileSortDirection {
public:
    explicit TSHFileAscSort(QObject* parent = nullptr);
};

class TSHFileDescSort : public TSHFileSortDirection {
public:
    explicit TSHFileDescSort(QObject* parent = nullptr);
};
