#include "gfx/IResourceLocator.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

#include "gfx/EmbeddedResources.h"

namespace plug::gfx {

namespace {

bool IsFile(const std::string& path)
{
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string LastComponent(std::string_view name)
{
  const std::size_t slash = name.find_last_of('/');
  return std::string(slash == std::string_view::npos ? name : name.substr(slash + 1));
}

std::string WithoutExtension(const std::string& name)
{
  const std::size_t slash = name.find_last_of('/');
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return name;
  return name.substr(0, dot);
}

std::string HomeFolder()
{
  const char* home = std::getenv("HOME");
  return home ? home : "";
}

// The value of XDG_MUSIC_DIR in user-dirs.dirs ("$HOME/Music" or an absolute path), or "".
std::string MusicFolderFromUserDirs()
{
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config = configHome && *configHome ? configHome : HomeFolder() + "/.config";
  std::ifstream file(config + "/user-dirs.dirs");
  std::string line;
  const std::string_view key = "XDG_MUSIC_DIR=";
  while (std::getline(file, line))
  {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
      continue;
    std::string value = line.substr(start + key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0)
      value = HomeFolder() + value.substr(5);
    return value.empty() || value.front() != '/' ? "" : value;
  }
  return "";
}

} // namespace

std::string ResourceExtension(const char* name)
{
  if (!name)
    return "";
  const std::string last = LastComponent(name);
  const std::size_t dot = last.find_last_of('.');
  return dot == std::string::npos ? "" : last.substr(dot + 1);
}

std::string MusicFolder()
{
  std::string folder;
  if (const char* env = std::getenv("XDG_MUSIC_DIR"); env && *env == '/')
    folder = env;
  else
    folder = MusicFolderFromUserDirs();
  if (folder.empty())
    folder = HomeFolder() + "/Music";
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return folder;
}

bool LocateResource(const char* name, const char* type, const char* sharedResourcesSubPath, IResourceLocation& result)
{
  result = {};
  if (!name || !*name)
    return false;
  const bool typeMatches = type && strcasecmp(ResourceExtension(name).c_str(), type) == 0;
  if (typeMatches)
  {
    const std::string last = LastComponent(name);
    result.embedded = FindEmbeddedResource(last);
    if (!result.embedded)
      result.embedded = FindEmbeddedResource(name);
    if (result.embedded)
      return true;
    if (sharedResourcesSubPath && *sharedResourcesSubPath)
    {
      std::string shared =
          MusicFolder() + "/" + sharedResourcesSubPath + "/Resources/" + WithoutExtension(last) + "." + type;
      if (IsFile(shared))
      {
        result.path = std::move(shared);
        return true;
      }
    }
  }
  if (IsFile(name))
  {
    result.path = name;
    return true;
  }
  return false;
}

bool ReadResource(const IResourceLocation& location, std::vector<unsigned char>& bytes)
{
  if (location.embedded)
  {
    bytes.assign(location.embedded->data.begin(), location.embedded->data.end());
    return true;
  }
  std::ifstream file(location.path, std::ios::binary);
  if (!file)
    return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

} // namespace plug::gfx
