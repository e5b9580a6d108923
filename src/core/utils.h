#pragma once

#include <list>
#include <ostream>
#include <string>
#include <vector>

// Small file-system and path helpers over std::string paths (bytes, no encoding
// conversion). Stateless and callable from any thread; nothing throws for a bad path.
class Utils
{
public:
    static std::string combinePath(const std::string &a, const std::string &b);
    static std::string getFilenameFromFilepath(const std::string &path);
    static std::string getPathFromFilepath(const std::string &path);
    static std::string getFileExtension(const std::string &path);
    static std::string changeFileExt(const std::string &path, const std::string &ext);
    static bool match(const std::string &text, const std::string &pattern);

    static bool fileExists(const std::string &path);
    static bool pathExists(const std::string &path);
    static bool isSymlink(const std::string &path);
    static std::string readSymlink(const std::string &path);
    static bool deleteFile(const std::string &path);
    static bool moveFile(const std::string &from, const std::string &to);
    static bool makePath(const std::string &path);
    static std::string changeToAppPath();

    static bool listFilesInDir(const std::string &dir, std::list<std::string> &out,
                               const std::string &pattern = std::string());
    static bool listDirectoriesInDir(const std::string &dir, std::list<std::string> &out,
                                     const std::string &pattern = std::string());
    static std::list<std::string> listFiles(const std::string &dir, const std::string &pattern = std::string());
    static std::list<std::string> listDirectories(const std::string &dir,
                                                  const std::string &pattern = std::string());

    static std::string getProcessId();
    static std::vector<unsigned char> decToBCD(int n);
    static void printVector(const std::vector<unsigned char> &data, std::ostream &os);
};
