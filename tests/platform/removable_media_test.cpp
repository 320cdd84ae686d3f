// Removable media read from a mounts table in the format of /proc/self/mounts.

#include "platform/removable_media.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quorvex {
namespace {

std::string Fixture(const char* name) {
    std::ifstream in(std::string(QUORVEX_TEST_DATA) + "/" + name);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> Folders(const std::vector<Mount>& mounts) {
    std::vector<std::string> out;
    for (const Mount& m : mounts) out.push_back(m.folder);
    return out;
}

// The user's cards and sticks where desktops and usbmount mount them, in the table's order;
// not the system's disks, another user's media, network or memory file systems.
TEST(RemovableMedia, FoundInTheMountsTable) {
    const std::vector<Mount> all = ParseMounts(Fixture("mounts-with-media.txt"));
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all[6].device, "/dev/sdb1");
    EXPECT_EQ(all[6].folder, "/media/alice/SHOW CARD");  // "\040" is a space
    EXPECT_EQ(all[6].type, "vfat");

    const std::vector<Mount> media = RemovableMounts(all, "alice");
    EXPECT_EQ(Folders(media), (std::vector<std::string>{"/media/alice/SHOW CARD",
                                                        "/run/media/alice/STICK", "/media/usb0"}));
    EXPECT_EQ(Folders(RemovableMounts(all, "bob")),
              (std::vector<std::string>{"/media/bob/THEIRS", "/media/usb0"}));
    EXPECT_EQ(MediumName(media[0]), "SHOW CARD");

    // Which medium a saved recording is on.
    EXPECT_EQ(MountHolding(media, "/media/alice/SHOW CARD/show/Sc-01-01.RGB")->device, "/dev/sdb1");
    EXPECT_EQ(MountHolding(media, "/media/alice/SHOW CARD")->device, "/dev/sdb1");
    EXPECT_FALSE(MountHolding(media, "/media/alice/SHOW CARDS/x.RGB"));
    EXPECT_FALSE(MountHolding(media, "/home/alice/RGBFiles/x.RGB"));
    EXPECT_EQ(MountHolding(all, "/boot/efi/x")->device, "/dev/nvme0n1p1");  // the deepest

    // Broken lines are passed over; a lone backslash stays.
    EXPECT_EQ(Folders(ParseMounts("\n/dev/sdz1\n/dev/sdz1 /media/a\\b vfat rw 0 0\n")),
              std::vector<std::string>{"/media/a\\b"});
}

}  // namespace
}  // namespace quorvex
