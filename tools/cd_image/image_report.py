"""The image builder's report of what a PC will do with the image: the files copied to it, the
program relaunched, the driver installed and how, the PC tool, the addresses built into the
binaries, the signature setting, and the image's SHA-256."""
import os

import binary_facts
from config_rules import PROGRAM, UPDATE_CLIENT, relaunched_entry, runs_through_msiexec


def report_name(iso):
    """<model>.report.txt beside <model>.iso."""
    return os.path.splitext(iso)[0] + ".report.txt"


def driver_line(profile):
    preload = profile.get("DRIVER", "preload")
    family = profile.get("DRIVER", "preload_type") or "(none)"
    if not preload:
        return f"Driver: family {family}, no installer on the phone (the PC start installs none from it)"
    how = "an MSI package, installed through msiexec" if runs_through_msiexec(preload) else "started as a program"
    return f"Driver: family {family}, installer {preload}, {how}"


def address_lines(image):
    """The service address and probe host of the update client, the connectivity address of the
    program, read out of the image's binaries."""
    service, probe, problem = binary_facts.update_endpoints(os.path.join(image, UPDATE_CLIENT))
    connectivity, other_problem = binary_facts.connectivity_url(os.path.join(image, PROGRAM))
    return [f"Update service: {service or 'not found: ' + problem} (in {UPDATE_CLIENT})",
            f"Reachability probe host: {probe or 'not found: ' + problem} (in {UPDATE_CLIENT})",
            f"Connectivity address: {connectivity or 'not found: ' + other_problem} (in {PROGRAM})"]


def signature_lines(profile, signer):
    """The maker's signature setting of config.ini, and how the image's binaries are signed."""
    section = profile.section("SIGNATURE")
    if section is None:
        setting = "Signature of packages: not verified (config.ini has no [SIGNATURE])"
    else:
        pinned = profile.entry("SIGNATURE", "root_sha256")  # read whole, however long
        roots = [r.strip().lower() for r in (pinned.value if pinned else "").split(",") if r.strip()]
        setting = (f"Signature of packages: publisher '{profile.get('SIGNATURE', 'publisher')}', roots: " +
                   (", ".join(roots) if roots else "any the PC trusts"))
    if signer is None:
        binaries = "Binaries on the image: not signed"
    else:
        binaries = f"Binaries on the image: signed by '{signer[0]}', root SHA-256 {signer[1] or '(not in the file)'}"
    return [setting, binaries]


def report_text(profile, image, iso, label, iso_sha256, signer=None, waived=()):
    """The report, one fact a line. `image` is the folder of the image's files, `signer` (common
    name, root SHA-256) when the binaries were signed, `waived` the findings waived for it."""
    listed = profile.listed("FILES")
    lines = [f"CD image {os.path.basename(iso)}: volume label \"{label}\"",
             f"Copied to the PC ([FILES], {len(listed)}): {', '.join(listed) if listed else '(none)'}",
             f"Relaunched on the PC: {relaunched_entry(profile) or '(none)'}",
             driver_line(profile),
             f"PC tool: {profile.get('PXPC', 'pxpc_name') or '(none)'}"]
    lines += address_lines(image)
    lines += signature_lines(profile, signer)
    for finding in waived:
        lines.append(f"Waived: {finding.code} ({finding.text})")
    lines.append(f"SHA-256: {iso_sha256}")
    return "".join(line + "\n" for line in lines)
