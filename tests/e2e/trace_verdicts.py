"""What tools/trace_report must read from each end-to-end scenario's trace log: the kind of the last
plug-in's first failure (None: it reads as a success), and a fragment its account must contain.
plug_in_case.PlugInTestCase checks every scenario that leaves a trace log against this table, so a
new scenario adds its row. A scenario that starts over in the middle leaves only its last part."""

# The reader's answer for a file that is no trace log of the program (exit status 2).
UNREADABLE = "unreadable"

VERDICTS = {
    # test_bootstrap_e2e: offline, the phone's own files.
    "test_phone_start_copies_relaunches_and_the_pc_start_runs_the_tool_past_a_planted_library": (None, "relaunched "),
    "test_a_library_redirection_beside_the_copy_refuses_the_relaunch": (None, "started the PC tool"),
    "test_without_the_tool_the_phone_goes_to_the_mode_it_reported": (
        "tool-not-installed", "switched the phone's USB mode with ChangeMode2UMS: done"),
    "test_factory_line_switches_to_modem_without_asking": (None, "factory line"),
    "test_licence_page_closed_ends_with_mode_change": (None, "the licence was declined (or its page closed)"),
    "test_accept_installs_the_phones_setup_program_once_whatever_the_clicks_then_starts_the_tool": (
        None, "installed the phone's driver (installer exit code 0)"),
    "test_failed_driver_installation_is_reported_and_switches_the_mode": ("driver-install-failed", "exit code 1603"),
    "test_same_phone_again_brings_the_page_forward_and_only_a_decline_switches_the_mode": (
        None, "another instance runs for the same phone"),
    # test_guards_e2e
    "test_only_a_program_of_the_tools_own_name_is_the_running_tool": (None, "the PC tool was already running"),
    "test_a_copy_that_cannot_be_held_as_the_phones_own_is_neither_relaunched_nor_installed": (
        "copy-failed", "ChangeMode2CGO: done"),
    "test_a_trace_log_that_is_a_second_name_of_another_file_gets_nothing_written": (UNREADABLE, "no entry"),
    "test_a_tool_without_the_makers_signature_is_never_started": (None, "packages are not verified"),
    "test_a_signature_setting_that_cannot_be_applied_refuses_even_a_signed_tool": (
        "signature-setting-invalid", "not 64 hex digits"),
    "test_the_pc_start_keeps_the_phones_setting_when_the_phone_is_gone": (
        "device-library-not-loaded", "does not bear the maker's signature"),
    "test_a_hung_window_with_the_caption_does_not_hold_the_start": (None, "window did not answer"),
    "test_a_device_library_beside_a_copy_outside_the_relaunch_folder_is_never_loaded": (
        "device-library-not-loaded", "not the bytes of the phone's library"),
    "test_a_licence_over_a_megabyte_shows_its_first_megabyte_and_only_the_program_gets_the_drive": (
        None, "the licence was declined"),
    # test_online_e2e: the fake update server.
    "test_first_run_downloads_the_package_reports_it_and_starts_the_tool": (None, "downloaded the package"),
    "test_current_package_starts_the_tool_without_a_dialog_or_download": (None, "downloaded the package"),
    "test_a_cancelled_or_failed_update_leaves_the_earlier_package_which_still_starts": (
        None, "nothing to install"),
    "test_package_folder_that_is_a_link_gets_nothing_deleted_or_written_through_it": (
        "package-file-failed", "PXPC.exe"),
    "test_package_folder_held_during_a_download_cannot_be_swapped_for_a_link": (None, "downloaded the package"),
    "test_server_driver_as_signed_msi_only_by_the_system_installer_not_one_planted_beside_it": (
        None, "installed the server's driver (installer exit code 0, 0)"),
    "test_server_driver_as_setup_program_with_the_package": (None, "installed the server's driver"),
    "test_a_server_driver_installer_needs_the_makers_signature_when_the_phone_names_it": (
        "package-file-unsigned", "packages must bear the signature of Demo Maker Ltd"),
    "test_a_downloaded_tool_replaced_before_its_start_is_not_started": ("tool-unsigned", "PXPC.exe"),
    "test_every_library_of_a_signed_package_must_bear_the_makers_signature": (None, "started the PC tool"),
    "test_a_failed_update_check_tells_its_cause_and_the_run_ends_with_the_mode_change": (
        "update-check-failed", "answered HTTP 503"),
    # tools/cd_image (win64 tree): the image's phone start, read while the licence page waits.
    "test_the_phone_start_from_the_extracted_signed_image": (None, "still runs"),
}
