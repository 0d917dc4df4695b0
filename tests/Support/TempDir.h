// A temporary folder removed with everything in it when the test ends, and
// small file helpers for fixtures.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

class CTempDir {
public:
    explicit CTempDir(const char* base = nullptr) {
        std::filesystem::path folder =
            base ? std::filesystem::path(base) : std::filesystem::temp_directory_path();
        std::random_device random;
        std::error_code error;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            std::filesystem::path candidate = folder / ("ferrowin-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error))
                m_path = candidate.string();
        }
    }
    ~CTempDir() {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + kSeparator + name; }

private:
#ifdef _WIN32
    static constexpr char kSeparator = '\\';
#else
    static constexpr char kSeparator = '/';
#endif
    std::string m_path;
};

inline void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Sets an environment variable for the life of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_had = true;
            m_old = old;
        }
        Set(m_name, value);
    }
    ~CScopedEnv() {
        if (m_had)
            Set(m_name, m_old);
        else
            Unset(m_name);
    }

private:
#ifdef _WIN32
    static void Set(const std::string& name, const std::string& value) {
        _putenv_s(name.c_str(), value.c_str());
    }
    static void Unset(const std::string& name) {
        _putenv_s(name.c_str(), "");
    }
#else
    static void Set(const std::string& name, const std::string& value) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    static void Unset(const std::string& name) {
        unsetenv(name.c_str());
    }
#endif
    std::string m_name, m_old;
    bool m_had = false;
};
