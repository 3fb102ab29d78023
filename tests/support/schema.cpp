#include "schema.h"

#include "config/Dev.h"
#include "config/DevConst.h"

void InstallRowSchema()
{
    CDevRow::SetPropertyNum(DEVROW_PROPERTY_NUM);
    for (int i = 0; i < DEVROW_PROPERTY_NUM; ++i)
        CDevRow::SetPropertyNameAndType(i, static_cast<int>(DEVROW_DWORD_PROPERTYTYPE[i]), DEVROW_STR_PROPERTYNAME[i],
                                        static_cast<int>(DEVROW_DWORD_PROPERTYTAXIS[i]));
}
