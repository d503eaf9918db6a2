// Disc images as media. An image given as a medium is opened once (mountImage) and stays
// open until the program ends; nothing is mounted in the system and nothing is extracted.
// The medium's top folder is then the image's path followed by a separator
// ("/home/u/DISC1.iso/"), and every path below it names an entry inside the image
// ("/home/u/DISC1.iso/SURVEY/SURVEY.XML"). The platform layer answers such paths from the
// image (each of its functions asks the image* hooks below first), and the XML document
// service reads management files and DTDs from it with readImageFile(), so that the
// checks and views treat an image as they treat a folder. A medium-relative path is the
// same for both, so the logs of an image and of the same tree as a folder are the same.
//
// Volume data of an image medium: its drive type is kDriveCdRom (an image is a disc not
// yet burned); its label is the volume label of the tree read; its serial is a checksum
// of that tree's volume descriptor (see DiscFacts::volumeSerial).
//
// Builds without the image reader (no libcdio) keep the hooks, which then never answer,
// and mountImage() refuses every image with a message.
#pragma once

#include "foundation/discimage.h"
#include "foundation/platform.h"

#include <optional>
#include <string>
#include <vector>

namespace qm {

// Whether this build reads disc images.
bool discImagesSupported();

// Whether path names a file to be taken as an image: any regular file in a build with the
// reader (which then tells what it is), one named *.iso, *.img or *.udf in one without.
bool looksLikeImageFile(const std::string& path);

// Opens the image at imagePath (native path, made absolute) unless it is open already and
// unchanged since (size and time written), and answers its medium top folder in `top`. False with a Japanese text for the user in
// `problem` when the image cannot be read or this build reads no images.
bool mountImage(const std::string& imagePath, std::string& top, std::string& problem);

// The open image that path lies in (the image's path itself, its top folder or any path
// below), with its facts; nullptr when path lies in none.
const DiscImage* imageHolding(const std::string& path);
// The image's own path (without a trailing separator) for a path that lies in an image;
// empty otherwise.
std::string imageFileOf(const std::string& path);
inline bool liesInImage(const std::string& path) { return imageHolding(path) != nullptr; }

// Reads a file of an open image whole, at most limit bytes. Reads of one image are taken
// one at a time. NotImage when path lies in no image.
enum class ImageRead { NotImage, Ok, Missing, NotPlain, TooLarge, Failed };
ImageRead readImageFile(const std::string& path, uint64_t limit, std::string& bytes, std::string& reason);

// Hooks of the platform layer: true when path lies in an image (the answer is then in
// the last argument), false to let the file system answer.
bool imageListing(const std::string& path, Listing& out);
bool imageFindEntries(const std::string& folder, const std::string& pattern, EntryKind kind,
                      std::vector<DirEntry>& out);
bool imageResolveRel(const std::string& top, const std::string& relBackslash, EntryKind kind,
                     std::optional<std::string>& out);
bool imageIsFolder(const std::string& path, bool& out);
bool imageIsPlainFile(const std::string& path, bool& out);
bool imageModifiedDate(const std::string& path, std::optional<LocalDate>& out);
bool imageDriveType(const std::string& path, int32_t& out);
bool imageVolumeInfo(const std::string& path, VolumeInfo& info, bool& out);

// The facts of every image opened in this run, by top folder, in the order opened.
struct MountedImage {
    std::string imagePath;
    std::string top;
    const DiscImage* image = nullptr;
};
std::vector<MountedImage> mountedImages();

}  // namespace qm
