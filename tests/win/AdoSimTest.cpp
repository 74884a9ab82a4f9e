// The ADO-style connection object, driven the way any late-binding client
// drives ADO: names through GetIDsOfNames, calls through Invoke.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "adosim/AdoSim.h"
#include "win/Bstr.h"
#include "win/TextConv.h"
#include "win/Variant.h"

namespace yol {
namespace {

// The outcome of one late-bound call.
struct Outcome {
    HRESULT hr = S_OK;
    HRESULT scode = S_OK;
    std::string description;
    Variant result;
};

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << Utf8FromWide(name);
    return id;
}

Outcome Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant> args = {}) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    Outcome out;
    out.hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, out.result.put(),
                            &excep, nullptr);
    if (out.hr == DISP_E_EXCEPTION) {
        out.scode = excep.scode;
        out.description = Utf8FromWide(Bstr::Adopt(excep.bstrDescription).view());
        Bstr::Adopt(excep.bstrSource);
        Bstr::Adopt(excep.bstrHelpFile);
    }
    return out;
}

ComPtr<IDispatch> Object(IDispatch* object, const wchar_t* name, std::vector<Variant> args = {}) {
    Outcome o = Call(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args));
    EXPECT_EQ(o.hr, S_OK) << o.description;
    EXPECT_EQ(o.result.type(), VT_DISPATCH);
    return o.result.type() == VT_DISPATCH ? ComPtr<IDispatch>::Retain(o.result.get().pdispVal) : nullptr;
}

class AdoSimTest : public ::testing::Test {
protected:
    AdoSimTest() : connection(adosim::OpenConnection(":memory:")) {
        adosim::ExecuteSql(connection.get(),
                           "create table T (Name text, N integer, R real, Blank text);"
                           "insert into T values ('Ab\xC3\xA9', 7, 1.5, null);"
                           "insert into T values ('Zed', 5000000000, 2.25, 'x');");
    }
    ComPtr<IDispatch> Execute(const wchar_t* sql) { return Object(connection.get(), L"Execute", Args(sql)); }
    static std::vector<Variant> Args(const wchar_t* text) {
        std::vector<Variant> v;
        v.push_back(Variant::Text(text));
        return v;
    }

    adosim::ConnectionPtr connection;
};

TEST_F(AdoSimTest, NamesAreFoundWithoutRegardToCaseAndUnknownOnesAreRefused) {
    EXPECT_EQ(IdOf(connection.get(), L"execute"), IdOf(connection.get(), L"EXECUTE"));
    auto* name = const_cast<LPOLESTR>(L"Open");
    DISPID id = 0;
    EXPECT_EQ(connection->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    // A property is not a method.
    ComPtr<IDispatch> rs = Execute(L"select * from T order by Name");
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(AdoSimTest, FieldsFollowTheCurrentRowWithAdoValueTypes) {
    ComPtr<IDispatch> rs = Execute(L"select * from T order by Name");
    ComPtr<IDispatch> fields = Object(rs.get(), L"Fields");
    ComPtr<IDispatch> name = Object(fields.get(), L"Item", Args(L"name"));
    ComPtr<IDispatch> n = Object(fields.get(), L"Item", Args(L"N"));
    std::vector<Variant> second;
    second.push_back(Variant::Int(2));
    ComPtr<IDispatch> r = Object(fields.get(), L"Item", std::move(second));
    ComPtr<IDispatch> blank = Object(fields.get(), L"Item", Args(L"Blank"));

    auto value = [](IDispatch* field) { return std::move(Call(field, L"Value", DISPATCH_PROPERTYGET).result); };
    Variant v = value(name.get());
    ASSERT_EQ(v.type(), VT_BSTR);
    EXPECT_EQ(std::wstring(v.get().bstrVal), L"Ab\u00E9");
    v = value(n.get());
    ASSERT_EQ(v.type(), VT_I4);
    EXPECT_EQ(v.get().lVal, 7);
    v = value(r.get());
    ASSERT_EQ(v.type(), VT_R8);
    EXPECT_EQ(v.get().dblVal, 1.5);
    EXPECT_EQ(value(blank.get()).type(), VT_NULL);
    Outcome count = Call(fields.get(), L"Count", DISPATCH_PROPERTYGET);
    EXPECT_EQ(count.result.get().lVal, 4);

    EXPECT_EQ(Call(rs.get(), L"MoveNext", DISPATCH_METHOD).hr, S_OK);
    v = value(n.get());  // the same Field object, now on the second row
    ASSERT_EQ(v.type(), VT_I8);
    EXPECT_EQ(v.get().llVal, 5000000000LL);
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET).result.get().boolVal, VARIANT_FALSE);
    Call(rs.get(), L"MoveNext", DISPATCH_METHOD);
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET).result.get().boolVal, VARIANT_TRUE);

    Outcome past = Call(rs.get(), L"MoveNext", DISPATCH_METHOD);
    EXPECT_EQ(past.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(past.scode, adosim::kNoCurrentRecord);
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).scode, adosim::kNoCurrentRecord);

    EXPECT_EQ(Call(rs.get(), L"Close", DISPATCH_METHOD).hr, S_OK);
    EXPECT_EQ(Call(rs.get(), L"State", DISPATCH_PROPERTYGET).result.get().lVal, 0);
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).scode, adosim::kObjectClosed);
    EXPECT_EQ(Call(rs.get(), L"Close", DISPATCH_METHOD).scode, adosim::kObjectClosed);
}

TEST_F(AdoSimTest, FailuresComeAsExceptionsWithAdosCodesAndTexts) {
    ComPtr<IDispatch> rs = Execute(L"select * from T");
    ComPtr<IDispatch> fields = Object(rs.get(), L"Fields");
    Outcome missing = Call(fields.get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args(L"MainPrefix"));
    EXPECT_EQ(missing.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(missing.scode, static_cast<HRESULT>(0x800A0CC1));
    EXPECT_EQ(missing.description,
              "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    std::vector<Variant> outOfRange;
    outOfRange.push_back(Variant::Int(4));
    EXPECT_EQ(Call(fields.get(), L"Item", DISPATCH_METHOD, std::move(outOfRange)).scode, adosim::kItemNotFound);

    Outcome noTable = Call(connection.get(), L"Execute", DISPATCH_METHOD, Args(L"select * from Nope"));
    EXPECT_EQ(noTable.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(noTable.scode, adosim::kNoTable);
    EXPECT_EQ(noTable.description, "no such table: Nope");
    Outcome syntax = Call(connection.get(), L"Execute", DISPATCH_METHOD, Args(L"select from"));
    EXPECT_EQ(syntax.scode, adosim::kErrorsInCommand);
    EXPECT_EQ(Call(connection.get(), L"Execute", DISPATCH_METHOD).hr, DISP_E_BADPARAMCOUNT);
}

TEST_F(AdoSimTest, StatementsWithoutRowsGiveAClosedRecordsetAndTheCount) {
    Variant affected;
    std::vector<Variant> args = Args(L"update T set N = N + 1");
    args.push_back(Variant());
    args.back().put()->vt = VT_BYREF | VT_VARIANT;
    args.back().get().pvarVal = &affected.get();
    Outcome update = Call(connection.get(), L"Execute", DISPATCH_METHOD, std::move(args));
    ASSERT_EQ(update.hr, S_OK) << update.description;
    EXPECT_EQ(affected.get().lVal, 2);
    ComPtr<IDispatch> closed = ComPtr<IDispatch>::Retain(update.result.get().pdispVal);
    EXPECT_EQ(Call(closed.get(), L"State", DISPATCH_PROPERTYGET).result.get().lVal, 0);
    EXPECT_EQ(Call(closed.get(), L"EOF", DISPATCH_PROPERTYGET).scode, adosim::kObjectClosed);

    // A recordset outlives its connection's Close.
    ComPtr<IDispatch> rs = Execute(L"select N from T order by N");
    EXPECT_EQ(Call(connection.get(), L"Close", DISPATCH_METHOD).hr, S_OK);
    EXPECT_EQ(adosim::DatabaseOf(connection.get()), nullptr);
    EXPECT_EQ(Call(connection.get(), L"Execute", DISPATCH_METHOD, Args(L"select 1")).scode, adosim::kObjectClosed);
    ComPtr<IDispatch> n = Object(Object(rs.get(), L"Fields").get(), L"Item", Args(L"N"));
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).result.get().lVal, 8);
}

TEST_F(AdoSimTest, ColumnsGiveTheValueTypesDeclaredForThem) {
    adosim::SetValueType(connection.get(), L"r", VT_CY);
    adosim::SetValueType(connection.get(), L"N", VT_BYREF | VT_DECIMAL);
    adosim::SetValueType(connection.get(), L"Blank", VT_R8);
    ComPtr<IDispatch> rs = Execute(L"select * from T order by Name");
    adosim::SetValueType(connection.get(), L"Name", VT_R8);  // for recordsets executed from now on
    ComPtr<IDispatch> fields = Object(rs.get(), L"Fields");
    auto value = [&fields](const wchar_t* column) {
        return std::move(Call(Object(fields.get(), L"Item", Args(column)).get(), L"Value",
                              DISPATCH_PROPERTYGET).result);
    };

    Variant v = value(L"R");
    ASSERT_EQ(v.type(), VT_CY);
    EXPECT_EQ(v.get().cyVal.int64, 15000);  // 1.5 in ten-thousandths
    v = value(L"N");
    ASSERT_EQ(v.type(), VT_BYREF | VT_DECIMAL);
    EXPECT_EQ(v.get().pdecVal->Lo64, 7u);
    EXPECT_EQ(value(L"Blank").type(), VT_NULL) << "SQL NULL stays Null whatever the type";
    EXPECT_EQ(value(L"Name").type(), VT_BSTR);

    ComPtr<IDispatch> again = Execute(L"select * from T order by Name");
    ComPtr<IDispatch> name = Object(Object(again.get(), L"Fields").get(), L"Item", Args(L"Name"));
    Outcome notANumber = Call(name.get(), L"Value", DISPATCH_PROPERTYGET);
    EXPECT_EQ(notANumber.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(notANumber.scode, DISP_E_TYPEMISMATCH);
    EXPECT_NE(notANumber.description.find("'Name'"), std::string::npos) << notANumber.description;

    adosim::SetValueType(connection.get(), L"NAME", VT_NULL);
    adosim::SetValueType(connection.get(), L"Blank", VT_BYREF | VT_VARIANT);
    adosim::SetValueType(connection.get(), L"N", adosim::kAsStored);
    rs = Execute(L"select * from T order by Name desc");
    fields = Object(rs.get(), L"Fields");
    EXPECT_EQ(value(L"Name").type(), VT_NULL);
    v = value(L"Blank");
    ASSERT_EQ(v.type(), VT_BYREF | VT_VARIANT);
    EXPECT_EQ(v.get().pvarVal->vt, VT_BSTR);
    EXPECT_EQ(value(L"N").type(), VT_I8);
    EXPECT_THROW(adosim::SetValueType(connection.get(), L"N", VT_BYREF | VT_NULL), std::runtime_error);
}

TEST_F(AdoSimTest, AnInjectedFaultFailsTheKthCallOnceOnAnyObjectOfTheConnection) {
    ComPtr<IDispatch> rs = Execute(L"select * from T order by Name");
    ComPtr<IDispatch> fields = Object(rs.get(), L"Fields");
    const long before = adosim::CallCount(connection.get());
    Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET);
    EXPECT_EQ(adosim::CallCount(connection.get()) - before, 2) << "GetIDsOfNames and Invoke, on a recordset";
    EXPECT_EQ(adosim::CallCount(rs.get()), -1);
    EXPECT_EQ(adosim::FailedCall(connection.get()), L"");

    // A plain HRESULT, from the second call on: the Invoke after the lookup.
    adosim::InjectFault(connection.get(), adosim::Fault::Plain(2));
    Outcome eof = Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET);
    EXPECT_EQ(eof.hr, E_FAIL);
    EXPECT_EQ(adosim::FailedCall(connection.get()), L"Invoke Recordset.EOF");
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET).hr, S_OK) << "a fault fires once";

    // An exception with its description, on a field; the walk goes on after it.
    ComPtr<IDispatch> n = Object(fields.get(), L"Item", Args(L"N"));
    adosim::InjectFault(connection.get(), adosim::Fault::Exception(4, L"The connection was lost."));
    EXPECT_EQ(Call(rs.get(), L"MoveNext", DISPATCH_METHOD).hr, S_OK);
    Outcome lost = Call(n.get(), L"Value", DISPATCH_PROPERTYGET);
    EXPECT_EQ(lost.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(lost.scode, E_FAIL);
    EXPECT_EQ(lost.description, "The connection was lost.");
    EXPECT_EQ(adosim::FailedCall(connection.get()), L"Invoke Field.Value");
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).result.get().llVal, 5000000000LL);

    // A lookup has no EXCEPINFO: it returns the code.
    adosim::InjectFault(connection.get(), adosim::Fault::Exception(1, L"", E_OUTOFMEMORY));
    auto* name = const_cast<LPOLESTR>(L"Close");
    DISPID id = 0;
    EXPECT_EQ(rs->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), E_OUTOFMEMORY);
    EXPECT_EQ(adosim::FailedCall(connection.get()), L"GetIDsOfNames Recordset.Close");

    adosim::InjectFault(connection.get(), adosim::Fault::Plain(1));
    adosim::InjectFault(connection.get(), adosim::Fault::Plain(0));  // cleared before it fired
    EXPECT_EQ(Call(connection.get(), L"State", DISPATCH_PROPERTYGET).hr, S_OK);
    EXPECT_EQ(adosim::FailedCall(connection.get()), L"");
}

}  // namespace
}  // namespace yol
