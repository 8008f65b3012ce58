#pragma once

#include <QString>

namespace qb {

inline constexpr const char* kSettingsApplication = "Tolvane";
inline constexpr const char* kSettingsSection = "Quillbarrow";
inline constexpr const char* kDataSourceNameKey = "DataSourceName";
inline constexpr const char* kExtensionKey = "Extension";
inline constexpr const char* kLastFolderKey = "LastFolder";
inline constexpr const char* kQuotedFieldsKey = "QuotedFields";  // "1" when ticked
inline constexpr const char* kEncodingKey = "Encoding";          // the choice's caption
inline constexpr const char* kColumnTypesKey = "ColumnTypes";    // the choice's caption
inline constexpr const char* kKeepLettersKey = "KeepLetters";    // "1" when ticked
inline constexpr const char* kResumeKey = "Resume";              // "1" when ticked
inline constexpr const char* kIfExistsKey = "IfTableExists";     // the choice's caption
inline constexpr const char* kEmptyFirstKey = "EmptyTableFirst"; // "1" when ticked
inline constexpr const char* kOnDuplicateKey = "OnDuplicate";    // the choice's caption
inline constexpr const char* kMatchByNameKey = "MatchByName";    // "1" when ticked
inline constexpr const char* kDateFormatKey = "DateFormat";      // the choice's caption
inline constexpr const char* kNullMarkersKey = "NullMarkers";    // the choice's text, as typed
inline constexpr const char* kTrimValuesKey = "TrimValues";      // "1" when ticked
inline constexpr const char* kDecimalCommaKey = "DecimalComma";  // "1" when ticked
inline constexpr const char* kAddFilterKey = "AddFilter";        // the Add dialog's last file type
inline constexpr const char* kNoHeaderKey = "NoHeader";              // "1" when chosen
inline constexpr const char* kSkipLinesKey = "SkipLines";            // the number of lines
inline constexpr const char* kQuoteCharacterKey = "QuoteCharacter";  // the character
inline constexpr const char* kJobsKey = "Jobs";                      // files at once, "0" for auto
inline constexpr const char* kAddFolderKey = "AddFolder";        // the folder of the Add dialog's last files

// The per-user settings: one INI file per application in the user's
// configuration folder, one group per section, text values.
//
// A value that cannot be written to disk is kept in memory for the rest of
// the session, so what the user typed is never lost and reads still see it.
class SettingsStore {
public:
    // The user's configuration folder: XDG_CONFIG_HOME, else ~/.config.
    SettingsStore();
    explicit SettingsStore(QString folder);

    const QString& Folder() const { return m_folder; }
    QString FilePath(const QString& application) const;

    // The stored text, or fallback when the key is absent.
    QString GetSetting(const QString& application, const QString& section, const QString& key,
                       const QString& fallback = {}) const;
    // True when the value reached the disk; false when it is kept for this
    // session only.
    bool SaveSetting(const QString& application, const QString& section, const QString& key,
                     const QString& value);

    // The program's own values, under "Tolvane" / "Quillbarrow".
    QString Get(const QString& key, const QString& fallback = {}) const;
    bool Save(const QString& key, const QString& value);

    QString DataSourceName() const;
    QString Extension() const;  // "txt" until one was saved
    QString LastFolder() const;
    bool SaveDataSourceName(const QString& name);
    bool SaveExtension(const QString& extension);
    bool SaveLastFolder(const QString& folder);

private:
    QString m_folder;
};

// Where the store lives when no folder is given.
QString UserConfigFolder();

}  // namespace qb
