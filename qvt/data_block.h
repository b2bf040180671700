// DataBlock: the common polymorphic form of the vector and matrix blocks that cross process().
#pragma once

// A module reads an input block as the form its getInputKind() announces (BaseVector<float> for
// RealVector, BaseMatrix<float> for RealMatrix) and always answers with a vector form.
class DataBlock {
public:
    virtual ~DataBlock() = default;

protected:
    DataBlock() = default;
    DataBlock(const DataBlock&) = default;
    DataBlock& operator=(const DataBlock&) = default;
};
