"""What a failure in the trace log means and what to do about it: one row per kind of first
failure (what failed, who can fix it, what to do), and hints by the kind of cause the program
wrote after the failure (an HTTP status, a network error, a time limit, a system error, an
installer's exit code, a link, a signature)."""
import re

USER, MAKER = "the user", "the maker"

# kind: (what failed, who acts, what to do). The texts name the files and folders as the user sees
# them; "<letter>" is the phone's drive letter, Templates the user's Templates folder.
KINDS = {
    # The phone start: the copy of the package to the PC and the relaunch of the copy.
    "relaunch-folder": (
        "The phone start could not make the folder it copies the package to ([000]: Templates\\<letter>)",
        USER, "Check that the user's Templates folder exists and can be written, and that neither it nor a folder "
              "above it, nor Templates\\<letter>, is a link (junction or symbolic link) or a file; remove what is "
              "in the way and plug the phone in again."),
    "relaunch-tools-folder": (
        "The phone start could not make the tools folder of its copy ([001]: Templates\\<letter>\\tools)",
        USER, "Remove a file or link named tools in Templates\\<letter> (or the whole folder Templates\\<letter>) "
              "and plug the phone in again."),
    "no-templates-folder": (
        "The phone start found neither the user's Templates nor Application Data folder ([004])",
        USER, "The user's profile is damaged or its shell folders point nowhere: log in with a working profile, "
              "or repair the user's shell folders (Templates)."),
    "copy-failed": (
        "The phone start could not copy a file of the package ([002] Failed to copy installation package)",
        MAKER, "A file that the phone's config.ini lists is missing from the phone's image, or its copy in "
               "Templates\\<letter> is held or changed by another program: the maker checks the image "
               "(tools/cd_image/check_config.py); the user closes programs using that folder, deletes "
               "Templates\\<letter> and plugs the phone in again."),
    "copy-not-the-phones": (
        "The copy in Templates\\<letter> is not the phone's file ([002]), so it is not relaunched",
        USER, "Another program holds or changed the copied file (an antivirus scan, a second copy of the "
              "program running from that folder): close it, delete Templates\\<letter> and plug the phone in "
              "again."),
    "relaunch-no-program": (
        "The phone's file list names no program to relaunch (\"Not Launch\")",
        MAKER, "The phone's config.ini [FILES] list lacks the program itself (PX_Bootstrap.exe): the maker fixes "
               "the image."),
    "relaunch-redirection": (
        "The relaunch was refused: a <program>.local folder beside the copy would redirect its libraries",
        USER, "Delete the .local folder named in the log (in Templates\\<letter>) and plug the phone in again."),
    "relaunch-failed": (
        "The copy of the program did not start",
        USER, "Windows refused to start the copy (the system error is in the log): security software may block "
              "programs in the Templates folder; allow it or ask the administrator."),
    "invalid-parameter": (
        "The program was started with an invalid parameter ([003]: -l without a drive letter)",
        USER, "Start the program from the phone's drive (autorun), not by hand with -l."),
    # Both starts: the checks before the work.
    "not-administrator": (
        "The user is not an administrator, so the program does not run",
        USER, "Log in with an administrator account and plug the phone in again."),
    "device-library-not-loaded": (
        "The phone's device library was not loaded, so the phone could not be asked or switched",
        USER, "Let autorun start the program from the phone's own CD-ROM drive; a copy run from a hard disk, a "
              "download folder or a changed relaunch folder never talks to the phone. If the phone was "
              "unplugged meanwhile, plug it in again."),
    "phone-no-answer": (
        "The phone did not answer the question for its selected USB mode",
        USER, "Plug the phone in again (another USB port or cable); if it keeps failing the phone's firmware "
              "does not answer: tell the maker."),
    "another-device": (
        "The PC start of another phone was still running, so this one ended",
        USER, "Wait until the other phone's run has ended, then plug this phone in again."),
    "pc-config-refused": (
        "The PC start refused its config.ini: it is not the phone's file or cannot be held",
        USER, "Another program changed or holds Templates\\<letter>\\config.ini: close it, delete "
              "Templates\\<letter> and plug the phone in again."),
    "licence-missing": (
        "The licence page could not be set up ([InitControl() == FALSE]): the licence file is missing",
        MAKER, "The phone's image lacks License.txt (or the copy in Templates\\<letter> lacks it): the maker puts "
               "License.txt in the image and lists it in config.ini."),
    "mode-change-failed": (
        "The phone could not be switched to its USB mode (\"Automatic USB mode change is failed.\")",
        USER, "Unplug the phone and plug it in again; if the phone did not answer from the start, see the "
              "device library or the phone's answer above."),
    # The PC start: the update check.
    "no-base-folder": (
        "The PC start found no folder for the package (the user's Templates folder)",
        USER, "Repair the user's shell folders (Templates) or use a working profile."),
    "package-folder-failed": (
        "The PC start could not make the package folder Templates\\PXPC",
        USER, "Remove a file or link named PXPC in the Templates folder (or what the cause names) and plug the "
              "phone in again."),
    "test-version-too-long": (
        "The phone's configured test version is too long",
        MAKER, "The phone's config.ini [PXPC] pxpc_test_ver is longer than the update library takes: the maker "
               "shortens it."),
    "update-library-failed": (
        "The update library QVUTchkdl.dll could not be loaded or called",
        MAKER, "The image's QVUTchkdl.dll is missing, damaged or lacks CheckPXPC, or its copy is not the phone's: "
               "the maker checks the image; the user deletes Templates\\<letter> and plugs in again."),
    "update-check-failed": (
        "The update service named no PC tool package",
        USER, "The PC could not get an answer from the update service: check the Internet connection and proxy; "
              "if the service answered with an error or without a package for this phone, tell the maker."),
    "package-url-invalid": (
        "The update service named a package address that is not valid",
        MAKER, "The maker's update service lists a wrong address for this phone's package: tell the maker."),
    "package-url-not-http": (
        "The update service named a package address that is not http: or https:",
        MAKER, "The maker's update service lists a file:, ftp: or other address for the package, which the program "
               "never follows: the maker lists an http(s) address."),
    "serverconfig-download-failed": (
        "The package description serverconfig.ini could not be fetched from the update server",
        USER, "The PC could not fetch the package description from the update server: check the Internet "
              "connection and the proxy, or the maker's server is down or lacks the file."),
    # The download of the package and the server's driver installer.
    "download-setup-failed": (
        "The download could not begin (its settings or the update library's report call failed)",
        MAKER, "The update library QVUTchkdl.dll did not load or failed its usage report: the maker checks the "
               "image's library."),
    "package-file-failed": (
        "A file of the package could not be downloaded",
        USER, "See the cause: a file the server lacks is the maker's to add; a network error or time limit is the "
              "connection's (check it and the proxy, then plug in again)."),
    "package-file-unsigned": (
        "A downloaded file was refused: it does not bear the maker's signature",
        MAKER, "The file on the server is not signed by the maker the phone names (or by another root): the maker "
               "signs the package's files; if the server is the maker's, someone may have tampered with the "
               "download (a proxy): tell the maker."),
    "folder-refused": (
        "A folder the program works in could not be held",
        USER, "Another program holds or moved the folder the log names, or it is missing: close that program and "
              "plug the phone in again."),
    # The driver.
    "driver-copy-failed": (
        "The phone's driver installer could not be copied to the PC",
        USER, "See the cause: the phone may have been unplugged, or the copy's folder is held by another program."),
    "driver-installer-missing": (
        "The driver installer to run is not there",
        USER, "The installer named in the log is missing or in use: plug the phone in again; if the phone's image "
              "lacks it, tell the maker."),
    "driver-installer-not-the-phones": (
        "The copied driver installer is not the phone's file, so it was not run",
        USER, "Another program changed or holds the copied installer: close it, delete Templates\\<letter> and plug "
              "in again."),
    "driver-installer-unsigned": (
        "The driver installer was refused: it does not bear the maker's signature",
        MAKER, "The installer is not signed by the maker the phone names: the maker signs it."),
    "driver-install-failed": (
        "The driver installation failed (\"QV USB modem driver is not installed.\")",
        USER, "Run the installer named in the log by hand to see its message (exit code 1603 is a fatal error "
              "during installation, often a pending reboot or an older driver in the way); then plug the phone "
              "in again."),
    # The PC tool.
    "tool-name-empty": (
        "The phone's config.ini names no usable PC tool",
        MAKER, "config.ini [PXPC] pxpc_name is empty, leaves the package folder or names a device: the maker fixes "
               "the image."),
    "tool-not-installed": (
        "The PC tool is not installed and the PC is offline",
        USER, "Connect the PC to the Internet (check the proxy) and plug the phone in again, so that the program "
              "can download the PC tool."),
    "tool-unsigned": (
        "The PC tool or a library of its package was refused: it does not bear the maker's signature",
        MAKER, "The installed file is not signed by the maker the phone names (replaced after its download, or an "
               "old unsigned package): the user deletes Templates\\PXPC and plugs in again online; if it "
               "persists, the maker signs the package."),
    "signature-setting-invalid": (
        "The phone's signature setting cannot be applied, so every file is refused",
        MAKER, "The phone's config.ini [SIGNATURE] section is malformed (see the reason): the maker fixes the image."),
    "tool-start-failed": (
        "The PC tool could not be started",
        USER, "See the lines before: the tool's folder or file is missing, held or a link; plug the phone in "
              "again online to have the package installed anew."),
    "package-incomplete": (
        "The package is incomplete after the update, so the tool was not started",
        USER, "A file of the package is missing in Templates\\PXPC: plug the phone in again online."),
    "no-pc-start": (
        "The phone start relaunched its copy, but no PC start wrote to this log",
        USER, "Read the next log file too (PX_Bootstrap_Log(0001).txt and on, when the Templates folder holds "
              "them); otherwise the copy ended before it could write, which security software can cause."),
    "unknown": (
        "The run ended with the phone switched to its mode, without a line that says why",
        MAKER, "The log shows no failure line: send the log to the maker."),
}


def cause_hint(cause):
    """What the cause's kind says about who can help, or None."""
    if not cause:
        return None
    status = re.search(r"answered HTTP (\d+)", cause)
    if status:
        code = int(status.group(1))
        if 400 <= code < 500:
            return f"The maker's server lacks this file or refuses it (HTTP {code}): tell the maker."
        if code >= 500:
            return f"The maker's server failed (HTTP {code}): try again later; if it stays, tell the maker."
        return f"The server answered HTTP {code}, which is no file: tell the maker."
    error = re.search(r"WinINet error (\d+)", cause)
    if error:
        return (f"The PC could not reach the server (WinINet error {error.group(1)}): check the Internet "
                "connection, the proxy settings and the firewall, then plug the phone in again.")
    if re.search(r"no data in time|not complete in time|has not ended after|timed out", cause):
        return ("The other side did not finish in time: a slow or stalled connection or an overloaded server; "
                "try again later or on another network.")
    if "exit code" in cause:
        code = re.search(r"exit code (-?\d+)", cause).group(1)
        return f"The installer ended with exit code {code}: run it by hand to see its message."
    if "a link on the way" in cause:
        return "A link (junction or symbolic link) lies on the way named: remove it and plug the phone in again."
    if "leaves the package folder" in cause or "outside the package folder" in cause:
        return "The package description names a file outside the package folder: the maker fixes serverconfig.ini."
    if "take its place" in cause:
        return ("A file of the installed package is in use (the PC tool still running?) or cannot be replaced: "
                "close the PC tool and plug the phone in again.")
    if "signature" in cause:
        return "The file does not bear the maker's signature: the maker signs it."
    system = re.search(r"system error (\d+)", cause)
    if system:
        return f"Windows refused the operation (system error {system.group(1)}); the text in brackets says why."
    if "did not mark OK" in cause or "complete PC tool package" in cause:
        return "The update service has no current package for this phone: tell the maker."
    return None


def failure_kind_of_message(code, text):
    """The kind of first failure that a message box reports, or None for a message of no failure."""
    by_code = {"[000]": "relaunch-folder", "[001]": "relaunch-tools-folder", "[002]": "copy-failed",
               "[003]": "invalid-parameter", "[004]": "no-templates-folder"}
    if code in by_code:
        return by_code[code]
    if text.startswith("[NOTIFICATION]") and "Administrator" in text:
        return "not-administrator"
    if text.startswith("Automatic USB mode change"):
        return "mode-change-failed"
    if text.startswith("QV USB modem driver is not installed"):
        return "driver-install-failed"
    return None
