// "tarn backup set": a backup job made or changed from a job file and the
// command's options, its secrets from the environment or the terminal,
// checked before it is sent to the service. Main thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarn::app {

// Days as the schedule's weekday bits count them, Monday first.
inline constexpr const char* kDayNames[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

inline constexpr std::string_view kBackupSetSynopsis =
    "[JOB.json] [--id ID] [--name N] [--source DIR]... [--exclude PATTERN]... [--to LINK [--user U] "
    "[--key FILE]] [--to s3://BUCKET/FOLDER [--endpoint URL] [--region R] --user ACCESS_KEY] [--insecure] "
    "[--drive ID --path P] [--schedule manual|hourly|daily] [--every H] [--at HH:MM] "
    "[--days mon,tue,...|all] [--keep-last N] [--keep-daily N] [--keep-weekly N] [--keep-monthly N] "
    "[--compress on|off] [--limit KIB_PER_S] [--enable|--disable]";
inline constexpr std::string_view kBackupSetHelp =
    "Adds a backup job, or changes the job that --id (or the file's \"id\") names by its id or its name; a change\n"
    "starts from the job as it is, with the job file's members and then the options laid over it. A new job needs\n"
    "--source and --to (or --drive); its name (--name, else the first source's folder name) must be neither\n"
    "another job's name nor another job's id. A job file holds the job as JSON. --to takes the link\n"
    "of a WebDAV, SFTP or NFS server as \"tarn add\" does, or s3://BUCKET/FOLDER for an S3 store: --endpoint gives\n"
    "the store's address (https://s3.amazonaws.com when not given), --region its region and --user the access key.\n"
    "--insecure takes the TLS certificate of an https:// server or store unchecked (one you trust whose certificate\n"
    "is self-signed or made for another name); --to without it checks the certificate again.\n"
    "The server's password (for the user of the link or --user; an S3 store's secret key, a key's passphrase)\n"
    "comes from TARN_PASSWORD or is asked on the terminal. The repository password comes from\n"
    "TARN_BACKUP_PASSWORD or is asked on the terminal and tried on the repository there; it is asked twice where\n"
    "there is no repository yet. A new job\n"
    "keeps the last 10 backups, one a day for 7 days, one a week for 4 weeks and one a month for 12 months.";

int RunBackupSet(const std::vector<std::string>& args);

}  // namespace tarn::app
