#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/folder_scan.h"
#include "plug_library.h"
#include "spi.h"

class TSusiePlugs;

// One image plug-in library of the registry's folder. It is loaded only
// between Load and Unload of one use. Uses may nest (the patterns listed
// from a progress report while the plug-in decodes): the library stays
// loaded until the outermost use ends.
class TSusiePlug {
public:
    TSusiePlug(TSusiePlugs* owner, std::string fileName);
    ~TSusiePlug();
    TSusiePlug(const TSusiePlug&) = delete;
    TSusiePlug& operator=(const TSusiePlug&) = delete;

    // Opens the library and checks that it is a plug-in: API version
    // exactly "00IN" and all four exports. False (and unloaded) otherwise.
    // On a loaded plug-in it only counts one more use.
    bool Load();
    // Ends one use; the last one releases the library.
    void Unload();
    bool IsLoaded() const { return library_ != nullptr; }
    // Why the last Load could not use a library that may be a plug-in
    // (a Windows plug-in on a machine that cannot run it); empty otherwise.
    const std::string& Unavailable() const { return unavailable_; }

    // Information string n; empty when the plug-in has none. Needs Load.
    std::string GetInfo(int n) const;

    const std::string& FileName() const { return fileName_; }
    // The library's full path.
    std::string Path() const;
    TSusiePlugs* Owner() const { return owner_; }

    // The exports; only while loaded.
    int GetPluginInfo(int infono, char* buf, int buflen) { return library_->GetPluginInfo(infono, buf, buflen); }
    int IsSupported(const char* filename, std::intptr_t dw) { return library_->IsSupported(filename, dw); }
    int GetPictureInfo(const char* buf, std::int32_t len, std::uint32_t flag, PictureInfo* info) {
        return library_->GetPictureInfo(buf, len, flag, info);
    }
    int GetPicture(const char* buf, std::int32_t len, std::uint32_t flag, HLOCAL* info, HLOCAL* bits,
                   SPI_PROGRESS progress, std::intptr_t data) {
        return library_->GetPicture(buf, len, flag, info, bits, progress, data);
    }

private:
    void Release();

    TSusiePlugs* owner_;
    std::string fileName_;
    std::unique_ptr<TPlugLibrary> library_;
    std::string unavailable_;
    int uses_ = 0;
};

// The size of a block a plug-in made with LocalAlloc. A native plug-in's
// come from the C heap, whose allocator knows their size: at least what was
// asked for, possibly a little more; a Windows plug-in's are exact.
std::size_t LocalBlockSize(HLOCAL block);
// Frees a block a plug-in returned from GetPicture, wherever the plug-in
// ran (a Windows plug-in's bitmap lies in memory shared with its helper).
void FreeLocalBlock(HLOCAL block);

// Keeps a plug-in loaded for one scope and unloads it on every way out.
class TSusiePlugUse {
public:
    explicit TSusiePlugUse(TSusiePlug& plug) : plug_(plug), loaded_(plug.Load()) {}
    ~TSusiePlugUse() { plug_.Unload(); }
    TSusiePlugUse(const TSusiePlugUse&) = delete;
    TSusiePlugUse& operator=(const TSusiePlugUse&) = delete;

    bool Loaded() const { return loaded_; }

private:
    TSusiePlug& plug_;
    bool loaded_;
};

// The valid plug-ins of one folder, in the order of their file names
// (ignoring case).
class TSusiePlugs {
public:
    TSusiePlugs() = default;
    TSusiePlugs(const TSusiePlugs&) = delete;
    TSusiePlugs& operator=(const TSusiePlugs&) = delete;

    const std::string& Path() const { return path_; }
    // Rescans only when the folder differs from the current one.
    void SetPath(const std::string& path);
    // Names the folder without scanning it; the next Refresh does, as a
    // decode and the listing of the patterns begin with one.
    void SetPathForNextRefresh(const std::string& path) { path_ = path; }
    // The folder the entries were found in. It differs from Path while a
    // new folder waits for the plug-in in use.
    const std::string& ScannedPath() const { return scannedPath_; }

    // Rescans the folder: every library ending in .spi (any case) that is
    // neither hidden nor a folder and passes Load becomes an entry. While
    // an entry is in use (a decode runs), the entries stay as they are:
    // freeing the one that decodes would unload the code that runs. The
    // rescan then happens at the next Refresh.
    void Refresh();
    // Whether some entry is loaded.
    bool InUse() const;

    int Count() const { return static_cast<int>(items_.size()); }
    // Libraries of the folder that may be plug-ins but cannot be used on
    // this machine, with the reason, in the order of their file names.
    struct TUnavailable {
        std::string fileName;
        std::string reason;
    };
    const std::vector<TUnavailable>& Unavailable() const { return unavailable_; }
    TSusiePlug* Items(int index) const { return items_.at(static_cast<std::size_t>(index)).get(); }

    // Refreshes, then appends information string 2 (the file pattern) of
    // every plug-in, as read when its library was checked, in registry order.
    void AppendPatterns(std::vector<std::string>& patterns);

private:
    // Whether a library is a valid plug-in, remembered per file version
    // so that a rescan does not open libraries that did not change.
    struct Validity {
        platform::FileIdentity identity;
        bool valid = false;
        std::string unavailable;
        std::string pattern;  // information string 2 of a valid one
    };

    Validity Check(const platform::FolderEntry& entry);

    std::string path_;
    std::string scannedPath_;
    std::vector<std::unique_ptr<TSusiePlug>> items_;
    std::vector<TUnavailable> unavailable_;
    std::map<std::string, Validity> validity_;
};
