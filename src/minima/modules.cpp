#include "minima/modules.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "minima/pictures.h"
#include "readers/fits_module.h"

namespace kvw::minima {

namespace {

std::mutex foldersLock;
std::vector<std::filesystem::path> chosenFolders;  // empty: the program's

// Where a module may be: in the folders chosen by useModuleFolders, else
// beside the program, then in the library folder of the prefix
// (KVW_MODULE_DIR, relative to the program's folder).
std::vector<std::filesystem::path> moduleCandidates(const char* file) {
    std::vector<std::filesystem::path> folders;
    {
        const std::lock_guard<std::mutex> hold(foldersLock);
        folders = chosenFolders;
    }
    if (folders.empty()) {
        std::error_code failure;
        const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
        const std::filesystem::path folder = failure ? std::filesystem::path(".") : program.parent_path();
        folders = {folder, folder / KVW_MODULE_DIR};
    }
    std::vector<std::filesystem::path> candidates;
    for (const std::filesystem::path& folder : folders) {
        candidates.push_back((folder / file).lexically_normal());
    }
    return candidates;
}

// The table that a module's entry point returns, when a module of this build
// is found; otherwise nothing, and `reasons` says why. Modules stay loaded to
// the end of the run (PLplot keeps state of its own).
template <typename Table>
const Table* loadModule(const char* file, const char* entryName, int version, std::string& reasons) {
    for (const std::filesystem::path& candidate : moduleCandidates(file)) {
        void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = ::dlerror();
            reasons += "; " + (error != nullptr ? std::string(error) : candidate.string());
            continue;
        }
        using Entry = const Table* (*)();
        const auto entry = reinterpret_cast<Entry>(::dlsym(handle, entryName));
        const Table* table = entry != nullptr ? entry() : nullptr;
        if (table != nullptr && table->version == version) {
            return table;
        }
        reasons += "; " + candidate.string() + " is not the module of this build";
    }
    return nullptr;
}

// Loads a module once for the run, from any thread.
template <typename Table>
class ModuleOnce {
public:
    ModuleOnce(const char* file, const char* entry, int version) : file_(file), entry_(entry), version_(version) {}
    // The table, or nothing with the reasons in `why`.
    const Table* get(std::string& why) {
        const std::lock_guard<std::mutex> hold(lock_);
        if (!tried_) {
            tried_ = true;
            table_ = loadModule<Table>(file_, entry_, version_, reasons_);
        }
        if (table_ == nullptr) {
            why = "cannot load " + std::string(file_) + reasons_;
        }
        return table_;
    }

private:
    const char* file_;
    const char* entry_;
    int version_;
    std::mutex lock_;
    bool tried_ = false;
    const Table* table_ = nullptr;
    std::string reasons_;
};

}  // namespace

void useModuleFolders(std::vector<std::filesystem::path> folders) {
    const std::lock_guard<std::mutex> hold(foldersLock);
    chosenFolders = std::move(folders);
}

const plot::DrawingModule& drawingModule() {
    static ModuleOnce<plot::DrawingModule> module(plot::kDrawingModuleFile, plot::kDrawingModuleEntry,
                                                  plot::kDrawingModuleVersion);
    std::string why;
    const plot::DrawingModule* table = module.get(why);
    if (table == nullptr) {
        throw PictureError("cannot draw: " + why);
    }
    return *table;
}

readers::LightCurve readFitsFromModule(std::string_view content, const std::string& source,
                                       const readers::ReadOptions& options) {
    static ModuleOnce<readers::FitsModule> module(readers::kFitsModuleFile, readers::kFitsModuleEntry,
                                                  readers::kFitsModuleVersion);
    std::string why;
    const readers::FitsModule* table = module.get(why);
    if (table == nullptr) {
        throw readers::ReadError(source + ": cannot read the FITS file: " + why);
    }
    return table->read(content, source, options);
}

}  // namespace kvw::minima
