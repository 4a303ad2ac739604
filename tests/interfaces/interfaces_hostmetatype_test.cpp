// A host source that includes the contract header declares the frame
// record's meta-type itself, as receivers in other threads need it; the
// header must leave that declaration to the host.

#include "camerainterface.h"

#include <QVariant>

#include <gtest/gtest.h>

Q_DECLARE_METATYPE(ImageProcessData)

TEST(HostMetaType, AHostDeclaresTheRecordAndCarriesItInAVariant)
{
    ImageProcessData d;
    d.productID = 7;
    d.image = cv::Mat::zeros(2, 3, CV_8UC1);
    const QVariant v = QVariant::fromValue(d);
    ASSERT_TRUE(v.canConvert<ImageProcessData>());
    const ImageProcessData back = v.value<ImageProcessData>();
    EXPECT_EQ(back.productID, 7);
    EXPECT_EQ(back.image.data, d.image.data) << "copies share the pixels";
}
