#pragma once

#include <map>
#include <string>

// How files reach MPlayer. A path in a slave command is text that the player's command parser
// splits at blanks and quotes, and that cannot hold a line feed. So every file goes through a
// private alias: a symbolic link with a plain name in the adapter's own folder, made the first
// time the file is played. The player opens the link, and the kernel takes it to the file's
// exact bytes.
//
// A song has no picture for the menu to draw on. It is played under a long still clip instead,
// as that clip's sound (a per-file option file beside the clip's alias, which the player reads
// with -use-filedir-conf), cut at the song's length. The length comes from the song itself,
// opened once without sound under an alias of its own ("probe") whose option file asks the
// player to say it (ID_LENGTH).
class MPlayerFiles
{
  public:
    enum Role { Plain, Probe, Picture };
    struct Alias
    {
        std::string path;
        Role role;
        std::string real;
    };

    // folder: where the aliases go; songPicture: the still clip songs play under (empty: none);
    // cwd: what relative paths are relative to, as the player would take them.
    MPlayerFiles(std::string folder, std::string songPicture, std::string cwd)
        : folder_(std::move(folder)), songPicture_(absolute(songPicture, cwd)), cwd_(std::move(cwd))
    {
    }

    // The alias to hand the player for the file; made() says whether it is new, with the
    // files to make for it: links, and option files with their text.
    struct Made
    {
        std::string path;
        std::map<std::string, std::string> links; // alias -> target
        std::map<std::string, std::string> texts; // option file -> text
    };
    Made aliasFor(const std::string& real);
    // For a song whose length is now known: its picture's alias and the option file that puts
    // the song under it.
    Made pictureFor(const std::string& real, double seconds);
    // The name to load a subtitle file by: its whole path when a quoted command argument carries
    // it as it is, else an alias.
    Made subtitleFor(const std::string& real);

    // What the player named: an alias of ours, or a path given on its command line.
    Alias named(const std::string& path) const;

    // A new file name for a list of aliases: a list handed to the player is read only when the
    // command reaches it, so no list is ever written twice.
    std::string listPath() { return folder_ + "/list" + std::to_string(++lists_); }

  private:
    struct Known
    {
        int number;
        std::string suffix;
    };
    std::string base(const Known& k) const;
    // A link points at a path from its own folder: relative targets are made whole.
    static std::string absolute(const std::string& path, const std::string& cwd)
    {
        return path.empty() || path[0] == '/' ? path : cwd + "/" + path;
    }

    std::string folder_;
    std::string songPicture_;
    std::string cwd_;
    std::map<std::string, Known> known_; // by real path
    std::map<std::string, Alias> aliases_;
    int lists_ = 0;
};
