#include <outlook/SecretPasswords.h>

#include <libsecret/secret.h>

#include <sys/stat.h>

#include <cstdlib>

namespace outlook {

namespace {

std::string MessageOf(GError* error)
{
    const std::string message = error && error->message ? error->message : "the keyring did not answer";
    if (error)
        g_error_free(error);
    return message;
}

} // namespace

bool CSecretPasswords::IsSessionAvailable()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    // The bus of a systemd user session, found without the variable.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat bus {};
    return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &bus) == 0 &&
           S_ISSOCK(bus.st_mode);
}

std::string CSecretPasswords::Lookup(const std::string& server, const std::string& user,
                                     const std::string& protocol, std::string& error)
{
    if (!IsSessionAvailable())
        return std::string();
    GError* failure = nullptr;
    gchar* password =
        secret_password_lookup_sync(SECRET_SCHEMA_COMPAT_NETWORK, nullptr, &failure, "user", user.c_str(),
                                    "server", server.c_str(), "protocol", protocol.c_str(), nullptr);
    if (failure) {
        error = MessageOf(failure);
        return std::string();
    }
    const std::string found = password ? password : "";
    secret_password_free(password);
    return found;
}

bool CSecretPasswords::Store(const std::string& server, const std::string& user, const std::string& protocol,
                             const std::string& password, std::string& error)
{
    if (!IsSessionAvailable()) {
        error = "no desktop session keyring is running";
        return false;
    }
    GError* failure = nullptr;
    const std::string label = user + "@" + server + " (calendar server)";
    const gboolean stored = secret_password_store_sync(
        SECRET_SCHEMA_COMPAT_NETWORK, SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(), nullptr,
        &failure, "user", user.c_str(), "server", server.c_str(), "protocol", protocol.c_str(), nullptr);
    if (!stored || failure) {
        error = MessageOf(failure);
        return false;
    }
    return true;
}

} // namespace outlook
