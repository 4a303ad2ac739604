#pragma once

// Descriptors of editable camera settings. A descriptor owns only its two
// texts; the values, ranges and option texts it points at belong to the
// parameter set and must outlive it without moving. Descriptors hold no
// lock: they are used on the thread that owns the parameter set.

#include <QJsonObject>
#include <QString>

// Value types of LineEditCameraParam.
enum ParamValueType {
    ParamBool = 0,
    ParamInt = 1,
    ParamFloat = 2,
    ParamDouble = 3,
    ParamString = 4,
};

class ParamWrap
{
public:
    ParamWrap(QString label, QString description, bool imageSizeFlag, bool isRunningShow, int paramLevel);
    virtual ~ParamWrap();
    virtual QString typeName();
    virtual bool queryFlag();
    virtual void fromJson(QJsonObject &json);
    virtual void toJson(QJsonObject &json);

    QString label;
    QString description;
    bool imageSizeFlag;
    qint32 paramLevel;
    bool isRunningShow;
    bool extraFlag;
};

// A heading that opens a group; it has no value.
class SeparateParam : public ParamWrap
{
public:
    SeparateParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow);
    ~SeparateParam() override;
    QString typeName() override;
};

// One value edited in a single-line field, typed by valueType.
class LineEditCameraParam : public ParamWrap
{
public:
    LineEditCameraParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow,
                        int paramLevel, void *value, int valueType, void *minValue, void *maxValue,
                        void *stepValue);
    ~LineEditCameraParam() override;
    QString typeName() override;
    void fromJson(QJsonObject &json) override;
    void toJson(QJsonObject &json) override;

    qint32 valueType;
    void *minValue;
    void *maxValue;
    void *stepValue;
    void *value;
};

// A row of named on/off options.
class RadioBoxParam : public ParamWrap
{
public:
    RadioBoxParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow, int paramLevel,
                  bool *values, int count, QString *names, QString *descriptions);
    ~RadioBoxParam() override;
    QString typeName() override;
    void fromJson(QJsonObject &json) override;
    void toJson(QJsonObject &json) override;

    qint32 count;
    QString *names;
    QString *descriptions;
    bool *values;
};

class CheckBoxParam : public RadioBoxParam
{
public:
    CheckBoxParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow, int paramLevel,
                  bool *values, int count, QString *names, QString *descriptions);
    ~CheckBoxParam() override;
    QString typeName() override;
};

// A choice of one entry out of a list, stored as an index.
class ComboBoxParam : public ParamWrap
{
public:
    ComboBoxParam(QString label, QString description, bool imageSizeFlag, bool isRunningShow, int paramLevel,
                  int *selectedIndex, int count, QString *names, QString *descriptions);
    ~ComboBoxParam() override;
    QString typeName() override;
    void fromJson(QJsonObject &json) override;
    void toJson(QJsonObject &json) override;

    qint32 count;
    QString *names;
    QString *descriptions;
    int *selectedIndex;
};
