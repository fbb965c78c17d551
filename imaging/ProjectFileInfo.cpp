// Kept apart from ProjectFile.cpp: only programs that carry photo information link it.
#include "imaging/ImageCodec/ImageInfo.h"
#include "imaging/ProjectFile.h"

uint32_t ImageInfoProperties::Count()
{
    return uint32_t(m_info.properties.size());
}

int ImageInfoProperties::Write(CDocStream& stream)
{
    return m_info.SerializeProperties(stream, false);
}

int ImageInfoProperties::Read(CDocStream& stream)
{
    return m_info.SerializeProperties(stream, true);
}
